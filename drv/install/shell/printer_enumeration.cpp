#include "printer_enumeration.h"

#include "spooler_fetch.h"

void FreePrinterEnumeration(PrinterEnumeration& printers) {
  if (printers.Buffer != nullptr) GlobalFree(printers.Buffer);
  printers.Buffer = nullptr;
  printers.Count = 0;
}

void EnumLocalPrinters(PrinterEnumeration& printers) {
  FreePrinterEnumeration(printers);
  DWORD count = 0;
  LPBYTE block = nullptr;
  DWORD needed = 0;
  auto enumerate = [&count](LPBYTE buffer, DWORD size, LPDWORD sized) {
    return EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 2, buffer, size, sized, &count);
  };
  // The spare 32 bytes guard against a spooler that writes a little past the
  // size it asked for.
  if (FetchSpoolerBlock(enumerate, block, needed, 32) != FetchOutcome::Filled) return;
  printers.Buffer = reinterpret_cast<PRINTER_INFO_2W*>(block);
  printers.Count = count;
}
