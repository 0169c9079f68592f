#include "parked_printers.h"

#include <cstring>

#include "../shell/out_of_memory.h"
#include "../shell/run_log.h"
#include "../shell/wide_text.h"
#include "port_monitor.h"

namespace {

// The first occurrence of `part` in `text` (exact), or null.
LPWSTR FindText(LPWSTR text, LPCWSTR part) {
  const SIZE_T length = WideLength(part);
  for (LPWSTR at = text; at != nullptr && *at != 0; ++at) {
    SIZE_T i = 0;
    while (i < length && at[i] == part[i]) ++i;
    if (i == length) return at;
  }
  return nullptr;
}

// Writes `with` over the `oldLength` characters at `at`, moving the rest of
// the text with its terminator. The caller has made sure the text's storage
// holds the result.
void ReplaceAt(LPWSTR at, SIZE_T oldLength, LPCWSTR with) {
  const SIZE_T newLength = WideLength(with);
  const SIZE_T rest = WideLength(at + oldLength) + 1;
  std::memmove(at + newLength, at + oldLength, rest * sizeof(WCHAR));
  std::memcpy(at, with, newLength * sizeof(WCHAR));
}

UINT_PTR Address(const void* p) { return reinterpret_cast<UINT_PTR>(p); }

// Characters of storage from `text` up to the next datum that a snapshot
// record points at; 0 when `text` does not lie in the snapshot's data or
// nothing follows it (the block's end is not known). The data of an
// enumeration block are all pointed at, so this is room no one else uses.
SIZE_T StorageOf(const PrinterEnumeration& printers, LPCWSTR text) {
  const PRINTER_INFO_2W* records = printers.Buffer.Get();
  if (records == nullptr || Address(text) < Address(records + printers.Count)) return 0;
  UINT_PTR next = 0;
  for (DWORD i = 0; i < printers.Count; ++i) {
    const PRINTER_INFO_2W& r = records[i];
    const void* data[] = {r.pServerName, r.pPrinterName, r.pShareName,         r.pPortName, r.pDriverName,
                          r.pComment,    r.pLocation,    r.pDevMode,           r.pSepFile,  r.pPrintProcessor,
                          r.pDatatype,   r.pParameters,  r.pSecurityDescriptor};
    for (const void* d : data) {
      if (Address(d) > Address(text) && (next == 0 || Address(d) < next)) next = Address(d);
    }
  }
  return next == 0 ? 0 : (next - Address(text)) / sizeof(WCHAR);
}

// Hands the record, its port text rewritten, to the spooler.
void SetPrinterPort(InstallContext& context, PRINTER_INFO_2W& printer) {
  PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
  HANDLE handle = nullptr;
  // A null name would open the print server, not a printer.
  if (WideLength(printer.pPrinterName) == 0 || !OpenPrinterW(printer.pPrinterName, &handle, &defaults)) {
    LogLine(context, TEXT("Can't open printer %s"), printer.pPrinterName);
    return;
  }
  const BOOL set = SetPrinterW(handle, 2, reinterpret_cast<LPBYTE>(&printer), 0);
  LogLine(context, set ? TEXT("SetPrinter(%s) - ok") : TEXT("SetPrinter(%s) - failed"), printer.pPrinterName);
  ClosePrinter(handle);
}

}  // namespace

void ParkProductPrinters(InstallContext& context) {
  context.ParkedPrinters.Reset();
  PrinterEnumeration& printers = context.Printers;
  if (!printers.Buffer || printers.Count == 0) return;
  context.ParkedPrinters = GlobalBlock<PRINTER_INFO_2W*>::Allocate((SIZE_T{printers.Count} + 1) * sizeof(void*));
  // Without the list the printers could never be returned: stop before parking any.
  if (!context.ParkedPrinters) EndRunOutOfMemory();
  PRINTER_INFO_2W** parked = context.ParkedPrinters.Get();
  DWORD count = 0;
  for (DWORD i = 0; i < printers.Count; ++i) {
    PRINTER_INFO_2W& printer = printers.Buffer[i];
    const LPWSTR port = FindText(printer.pPortName, ProductMonitorName);
    if (port == nullptr) continue;
    parked[count++] = &printer;
    ReplaceAt(port, WideLength(ProductMonitorName), ParkingPortName);  // shorter: always fits
    SetPrinterPort(context, printer);
  }
  parked[count] = nullptr;  // zero-filled already; said for the reader
}

void ReturnParkedPrinters(InstallContext& context) {
  const SIZE_T growth = WideLength(ProductMonitorName) - WideLength(ParkingPortName);
  for (PRINTER_INFO_2W** entry = context.ParkedPrinters.Get(); entry != nullptr && *entry != nullptr; ++entry) {
    PRINTER_INFO_2W& printer = **entry;
    const LPWSTR port = FindText(printer.pPortName, ParkingPortName);
    if (port == nullptr) continue;
    // Parking left the room; a text that never held "Ravelquill:" may not
    // have it, and writing past it would overwrite its neighbours.
    if (StorageOf(context.Printers, printer.pPortName) < WideLength(printer.pPortName) + growth + 1) {
      LogLine(context, TEXT("Printer %s is not returned: no room for its port name"), printer.pPrinterName);
      continue;
    }
    ReplaceAt(port, WideLength(ParkingPortName), ProductMonitorName);
    SetPrinterPort(context, printer);
  }
}
