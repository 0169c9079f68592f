#include "install_context.h"

#include <cstring>

#include "../spooler/spooler_service.h"
#include "module_instance.h"
#include "run_log.h"
#include "spooler_fetch.h"
#include "wide_text.h"

namespace {

bool EndsWithBackslash(LPCWSTR text) {
  const SIZE_T length = WideLength(text);
  return length > 0 && text[length - 1] == '\\';
}

// The installer's directory: its path cut right after the last backslash,
// slash or colon; empty when there is none. A path the system had to cut
// names some other directory, so it leaves the directory empty too.
void SetInstallDir(InstallContext& context) {
  WCHAR path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(ModuleInstance, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  SIZE_T cut = 0;
  for (SIZE_T i = 0; path[i] != 0; ++i) {
    if (path[i] == '\\' || path[i] == '/' || path[i] == ':') cut = i + 1;
  }
  path[cut] = 0;
  TextAssign(context.InstallDir, path);
}

void SetSystemDir(InstallContext& context) {
  WCHAR path[MAX_PATH + 1] = {};
  const UINT length = GetSystemDirectoryW(path, MAX_PATH);
  // A result of MAX_PATH or more is the size the call wanted: nothing was
  // copied, so it is as much a failure as 0.
  if (length == 0 || length >= MAX_PATH) {
    // A size reply sets no error of its own: say what went wrong.
    if (length != 0) SetLastError(ERROR_INSUFFICIENT_BUFFER);
    LogError(context, ErrorSystemDirectory);
    return;
  }
  if (path[length - 1] != '\\') {
    path[length] = '\\';
    path[length + 1] = 0;
  }
  TextAssign(context.SystemDir, path);
}

}  // namespace

InstallContext& InitContext(InstallContext& context, DWORD flags) {
  context = InstallContext{};
  LogLine(context, TEXT("Ravelquill %d"), BuildNumber);
  context.CheckMonitorVersion = 0;
  context.InstallMonitor = 1;
  context.RegisterTray = (flags & InitFlagNoTray) ? 0 : 1;
  context.CopyMonitor = 1;
  CheckSpooler(context);
  SelectEnvironment(context, (flags & InitFlagX64) != 0);
  context.ParkedPrinters.Reset();
  SetInstallDir(context);
  SetSystemDir(context);
  MarkDefaultPrinter(context);
  return context;
}

void SelectEnvironment(InstallContext& context, bool useX64) {
  const ProductModules& chosen = useX64 ? X64Modules : X86Modules;
  context.Environment = chosen.Environment;
  context.MonitorFile = chosen.MonitorFile;
  context.DriverFile = chosen.DriverFile;
  context.UiFile = chosen.UiFile;
  context.HelpFile = ProductHelpFile;

  LPWSTR environment = const_cast<LPWSTR>(context.Environment);
  auto query = [environment](LPBYTE block, DWORD size, LPDWORD needed) {
    return GetPrinterDriverDirectoryW(nullptr, environment, 1, block, size, needed);
  };
  // Spare bytes: room for the backslash that is appended and a terminator
  // the spooler may leave out. A directory path needs no more than 64 KB.
  constexpr SIZE_T kSpare = 6;
  GlobalBlock<WCHAR> block;
  DWORD needed = 0;
  const FetchOutcome outcome = FetchSpoolerBlock(query, block, needed, kSpare, 0x10000);
  if (outcome == FetchOutcome::NothingToFetch) return;
  if (outcome != FetchOutcome::Filled) {
    LogError(context, ErrorDriverDirectory);
    return;
  }
  LPWSTR directory = block.Get();
  const SIZE_T chars = (SIZE_T{needed} + kSpare) / sizeof(WCHAR);
  directory[chars - 1] = 0;
  LogLine(context, TEXT("PrinterDriverDirectory(1):%s"), directory);
  const SIZE_T length = WideLength(directory);
  if (length > 0 && !EndsWithBackslash(directory) && length + 1 < chars) {
    directory[length] = '\\';
    directory[length + 1] = 0;
  }
  LogLine(context, TEXT("PrinterDriverDirectory(2):%s"), directory);
  TextAssign(context.DriverDir, directory);
}

void MarkDefaultPrinter(InstallContext& context) {
  EnumLocalPrinters(context.Printers);
  WCHAR name[255] = {};
  DWORD capacity = 255;
  if (!GetDefaultPrinterW(name, &capacity)) return;
  name[254] = 0;
  for (DWORD i = 0; i < context.Printers.Count; ++i) {
    PRINTER_INFO_2W& printer = context.Printers.Buffer[i];
    if (printer.pPrinterName != nullptr && WideEqual(printer.pPrinterName, name)) {
      printer.Attributes |= PRINTER_ATTRIBUTE_DEFAULT;
    }
  }
}

void FreeContext(InstallContext& context) {
  context.ParkedPrinters.Reset();
  FreePrinterEnumeration(context.Printers);
  SavedSettingsFree(context.SavedSettings);
  context.SavedSettings = nullptr;
  StringListFree(context.PendingDeletes);
  context.PendingDeletes = nullptr;
  TextFree(context.DriverDir);
  TextFree(context.LogText);
  TextFree(context.SystemDir);
  TextFree(context.InstallDir);
}
