#include "status_probes.h"

#include <winspool.h>

#include "../files/pending_renames.h"
#include "../shell/file_version.h"
#include "../shell/printer_enumeration.h"
#include "../shell/product.h"
#include "../shell/wide_text.h"
#include "../spooler/printer_driver.h"
#include "../spooler/printer_queue.h"
#include "../spooler/spooler_service.h"

namespace {

constexpr DWORD kDefaultNameCapacity = 260;

// Only the 64-bit modules: the installer places no others.
const LPCWSTR kProductFileNames[] = {X64Modules.MonitorFile, X64Modules.DriverFile, X64Modules.UiFile};

LPCWSTR FileNamePart(LPCWSTR path) {
  LPCWSTR name = SkipObjectNamespacePrefix(path);
  for (LPCWSTR c = name; *c != 0; ++c) {
    if (*c == '\\' || *c == '/' || *c == ':') name = c + 1;
  }
  return name;
}

bool IsProductFileName(LPCWSTR name) {
  for (LPCWSTR product : kProductFileNames) {
    if (WideEqualAsciiNoCase(name, product)) return true;
  }
  return false;
}

// One look at the pending list, after deleting what can go now. Only
// sources that still exist count; targets are not searched.
bool ProductFilesPendingNow() {
  PendingRenameList list = ReadPendingRenames();
  DeletePendingLeftovers(list);
  bool found = false;
  for (SIZE_T pair = 0; pair < list.PairCount && !found; ++pair) {
    const LPCWSTR source = list.Paths[pair * 2];
    found = list.IsFile[pair * 2] != 0 && source != nullptr && IsProductFileName(FileNamePart(source));
  }
  FreePendingRenameList(list);
  return found;
}

bool IsProductPrinter(const PRINTER_INFO_2W& printer) { return WideEqual(printer.pDriverName, ProductDriverName); }

// The name of the first product printer in enumeration order, or null when
// there is none. A nameless record yields null too: OpenPrinterW would take
// it for the print server, and SetDefaultPrinterW for "any printer".
LPWSTR FirstProductPrinterName(const PrinterEnumeration& printers) {
  for (DWORD i = 0; i < printers.Count; ++i) {
    if (!IsProductPrinter(printers.Buffer[i])) continue;
    LPWSTR name = printers.Buffer[i].pPrinterName;
    return WideLength(name) > 0 ? name : nullptr;
  }
  return nullptr;
}

}  // namespace

BOOL ClosePrinterHandle(HANDLE printer) { return ClosePrinter(printer); }

bool CheckPendingProductFiles() {
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (!ProductFilesPendingNow()) return false;
    // The spooler may be what holds the files; a restart lets go of them.
    { SpoolerRestartScope restart(nullptr); }
  }
  return true;
}

bool CheckDefaultPrinter() {
  WCHAR name[kDefaultNameCapacity] = {};
  DWORD capacity = kDefaultNameCapacity;
  // A failed call (no default printer, or a name too long) counts as none.
  if (!GetDefaultPrinterW(name, &capacity)) name[0] = 0;
  name[kDefaultNameCapacity - 1] = 0;
  if (name[0] == 0) return true;
  HANDLE printer = nullptr;
  if (!OpenPrinterW(name, &printer, nullptr)) return true;
  PrinterInformation information{};
  GetPrinterInfo2(printer, information);
  const bool result = !information.Buffer || !IsProductPrinter(*information.Buffer);
  ClosePrinterHandle(printer);
  return result;
}

bool CheckDriverBuild() {
  PrinterEnumeration printers{};
  EnumLocalPrinters(printers);
  bool result = false;
  HANDLE printer = nullptr;
  const LPWSTR name = FirstProductPrinterName(printers);
  if (name != nullptr && OpenPrinterW(name, &printer, nullptr)) {
    const GlobalBlock<DRIVER_INFO_2W> driver = GetPrinterDriverInfo(printer);
    // Signed: the -1 of a file without a version is below any build.
    if (driver && driver->pDriverPath != nullptr) {
      result = GetFileBuildNumber(driver->pDriverPath) >= LowestCompatibleBuild;
    }
    ClosePrinterHandle(printer);
  }
  FreePrinterEnumeration(printers);
  return result;
}

void SetProductPrinterDefault() {
  PrinterEnumeration printers{};
  EnumLocalPrinters(printers);
  const LPWSTR name = FirstProductPrinterName(printers);
  if (name != nullptr) SetDefaultPrinterW(name);
  FreePrinterEnumeration(printers);
}
