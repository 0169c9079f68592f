#include "port_monitor.h"

#include "../files/driver_file_copy.h"
#include "../shell/file_version.h"
#include "../shell/product.h"
#include "../shell/run_log.h"
#include "../shell/text_buffer.h"
#include "../shell/wide_text.h"
#include "parked_printers.h"
#include "spooler_service.h"

namespace {

constexpr int RegistrationAttempts = 5;
constexpr DWORD RegistrationPauseMs = 50;

// The registered module name of the found entry; only level 2 has one.
LPCWSTR RegisteredModule(const MonitorEnumeration& monitors, LONG index) {
  if (monitors.Level != 2 || !monitors.Buffer || index < 0) return nullptr;
  return reinterpret_cast<const MONITOR_INFO_2W*>(monitors.Buffer.Get())[index].pDLLName;
}

// Without the system directory (error 7) the module's bare file name would
// name a file in whatever directory the installer was started in.
bool KnowsSystemDir(const InstallContext& context) { return TextLength(context.SystemDir) > 0; }

// Whether the path ends in a file name: with no name it is a directory (the
// system directory), which must never be deleted or scheduled for deletion.
bool NamesAFile(LPCWSTR path) {
  const SIZE_T length = WideLength(path);
  SIZE_T start = length;
  while (start > 0 && path[start - 1] != '\\' && path[start - 1] != '/') --start;
  const SIZE_T name = length - start;
  const bool dots = (name == 1 && path[start] == '.') || (name == 2 && path[start] == '.' && path[start + 1] == '.');
  return name > 0 && !dots;
}

// The version gate: true when the installed monitor is compatible and stays.
bool KeepCompatibleMonitor(InstallContext& context, LPCWSTR path, bool found) {
  if (!context.CheckMonitorVersion) {
    LogLine(context, TEXT("There is no check for monitor version"));
    return false;
  }
  const LONG build = GetFileBuildNumber(path);
  if (build >= LowestCompatibleBuild && build <= BuildNumber) {
    LogLine(context, TEXT("Version (%d) is compatible, proceed without uninstall"), static_cast<int>(build));
    if (found) {
      context.InstallMonitor = 0;
    } else {
      context.CopyMonitor = 0;
    }
    LogLine(context, TEXT("InstallMonitor == %d, CopyMonitor == %d"), context.InstallMonitor ? 1 : 0,
            context.CopyMonitor ? 1 : 0);
    return true;
  }
  if (build < 0) {
    LogLine(context, TEXT("Version is unknown, proceed with reinstall"));
  } else {
    LogLine(context, TEXT("Version (%d) is not supported, proceed with reinstall"), static_cast<int>(build));
  }
  return false;
}

// Deletes the registration, parking the printers and restarting the
// spooler when it refuses; true once the monitor is gone.
bool DeleteRegistration(InstallContext& context, bool found) {
  if (DeleteProductMonitor(context.Environment)) return true;
  if (!found) {
    LogLine(context, TEXT("Can't delete monitor and monitor was not found. So everything should be ok"));
    return false;
  }
  LogLine(context, TEXT("Can't delete monitor from the first try"));
  // The spooler refuses while a printer uses the monitor's port.
  ParkProductPrinters(context);
  if (DeleteProductMonitor(context.Environment)) return true;
  // A restart makes the spooler let go of whatever else holds the monitor.
  { SpoolerRestartScope restart(&context); }
  if (DeleteProductMonitor(context.Environment)) return true;
  LogError(context, ErrorRemoveMonitor);
  return false;
}

void DeleteModuleFile(InstallContext& context, LPCWSTR path) {
  if (WideLength(path) == 0) {
    // Nothing to delete.
  } else if (!NamesAFile(path)) {
    LogLine(context, TEXT("No monitor file name: the module is not deleted"));
  } else if (!DeleteFileW(path)) {
    StringListAdd(context.PendingDeletes, path);
  }
  LogLine(context, TEXT("Monitor was removed :)"));
}

// A failed quiet copy is retried with the spooler stopped, which lets go of
// the module it has loaded.
void CopyMonitorModule(InstallContext& context) {
  if (!context.CopyMonitor || !KnowsSystemDir(context)) {
    LogLine(context, TEXT("Skip copy monitor file"));
    return;
  }
  LogLine(context, TEXT("Copy monitor file"));
  LPCWSTR systemDir = TextString(context.SystemDir);
  if (SUCCEEDED(CopyDriverFile(context, systemDir, context.MonitorFile, nullptr, false))) return;
  SpoolerRestartScope stopped(&context);
  CopyDriverFile(context, systemDir, context.MonitorFile, nullptr, true);
}

bool RegisterMonitor(InstallContext& context) {
  MONITOR_INFO_2W info = {const_cast<LPWSTR>(ProductMonitorName), const_cast<LPWSTR>(context.Environment),
                          const_cast<LPWSTR>(context.MonitorFile)};
  for (int attempt = 1; attempt <= RegistrationAttempts; ++attempt) {
    if (attempt > 1) Sleep(RegistrationPauseMs);
    if (AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&info))) {
      LogLine(context, TEXT("AddMonitor - OK :)"));
      return true;
    }
    const DWORD error = GetLastError();
    LogLine(context, TEXT("AddMonitor - failed. Trying to wait and install again"));
    SetLastError(error);  // the error line after the last attempt carries it
  }
  LogError(context, ErrorInstallMonitor);
  return false;
}

}  // namespace

BOOL DeleteProductMonitor(LPCWSTR environment) {
  return DeleteMonitorW(nullptr, const_cast<LPWSTR>(environment), const_cast<LPWSTR>(ProductMonitorName));
}

void InstallPortMonitor(InstallContext& context) {
  LogLine(context, TEXT(">AddMonitor"));
  LogDepthScope depth(context, 1);
  CopyMonitorModule(context);
  if (RegisterMonitor(context)) ReturnParkedPrinters(context);
}

void RemovePortMonitor(InstallContext& context, const MonitorEnumeration& monitors) {
  LogLine(context, TEXT(">DeleteMonitor"));
  LogDepthScope depth(context, 1);
  if (monitors.Count > 0) {
    LogMonitorList(context, monitors);
  } else {
    LogLine(context, TEXT("BTW, there is no port monitors on this system."));
  }
  const LONG index = FindProductMonitor(monitors);
  const bool found = index >= 0;
  TextBuffer path = TextCopy(context.SystemDir);
  if (found) {
    LogLine(context, TEXT("Port monitor is found. Index=%d"), static_cast<int>(index + 1));
    LogLine(context, TEXT("Trying to get monitor filename from MONITOR_INFO_2"));
    LPCWSTR module = RegisteredModule(monitors, index);
    if (KnowsSystemDir(context) && WideLength(module) > 0) TextAppend(path, module);
  } else {
    LogNoProductMonitor(context);
    LogLine(context, TEXT("Computing monitor filename"));
    if (KnowsSystemDir(context) && WideLength(context.MonitorFile) > 0) TextAppend(path, context.MonitorFile);
  }
  LogLine(context, TEXT("Auto calculated monitor file name: %s"), TextString(path));
  if (!KeepCompatibleMonitor(context, TextString(path), found) && DeleteRegistration(context, found)) {
    DeleteModuleFile(context, TextString(path));
  }
  TextFree(path);
}
