#include "install_context.h"

#include <cstring>

#include "../spooler/spooler_service.h"
#include "module_instance.h"
#include "run_log.h"
#include "wide_text.h"

namespace {

bool EndsWithBackslash(LPCWSTR text) {
  const SIZE_T length = WideLength(text);
  return length > 0 && text[length - 1] == '\\';
}

// The installer's directory: its path cut right after the last backslash,
// slash or colon; empty when there is none.
void SetInstallDir(InstallContext& context) {
  WCHAR path[MAX_PATH] = {};
  GetModuleFileNameW(ModuleInstance, path, MAX_PATH);
  path[MAX_PATH - 1] = 0;
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
    LogError(context, 7, TEXT("Can`t retrieve system directory."));
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
  context.ParkedPrinters = nullptr;
  SetInstallDir(context);
  SetSystemDir(context);
  MarkDefaultPrinter(context);
  return context;
}

void SelectEnvironment(InstallContext& context, bool useX64) {
  context.Environment = useX64 ? TEXT("Windows x64") : TEXT("Windows NT x86");
  context.MonitorFile = useX64 ? TEXT("vexmon64.dll") : TEXT("vexmon32.dll");
  context.DriverFile = useX64 ? TEXT("vexdrv64.dll") : TEXT("vexdrv32.dll");
  context.UiFile = useX64 ? TEXT("vexui64.dll") : TEXT("vexui32.dll");
  context.HelpFile = TEXT("vexhelp.chm");

  LPWSTR environment = const_cast<LPWSTR>(context.Environment);
  DWORD needed = 0;
  if (GetPrinterDriverDirectoryW(nullptr, environment, 1, nullptr, 0, &needed)) return;
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed > 0x10000) {
    LogError(context, 6, TEXT("Can`t retrieve printer driver directory."));
    return;
  }
  // Two spare bytes: room for the backslash that is appended.
  const SIZE_T chars = (SIZE_T{needed} + 2 + 1) / sizeof(WCHAR) + 1;
  auto* directory = static_cast<LPWSTR>(GlobalAlloc(GPTR, chars * sizeof(WCHAR)));
  if (directory == nullptr) {
    SetLastError(static_cast<DWORD>(E_OUTOFMEMORY));
    LogError(context, 6, TEXT("Can`t retrieve printer driver directory."));
    return;
  }
  if (!GetPrinterDriverDirectoryW(nullptr, environment, 1, reinterpret_cast<LPBYTE>(directory), needed, &needed)) {
    LogError(context, 6, TEXT("Can`t retrieve printer driver directory."));
    GlobalFree(directory);
    return;
  }
  directory[chars - 1] = 0;
  LogLine(context, TEXT("PrinterDriverDirectory(1):%s"), directory);
  const SIZE_T length = WideLength(directory);
  if (length > 0 && !EndsWithBackslash(directory) && length + 1 < chars) {
    directory[length] = '\\';
    directory[length + 1] = 0;
  }
  LogLine(context, TEXT("PrinterDriverDirectory(2):%s"), directory);
  TextAssign(context.DriverDir, directory);
  GlobalFree(directory);
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
  if (context.ParkedPrinters != nullptr) GlobalFree(context.ParkedPrinters);
  context.ParkedPrinters = nullptr;
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
