#include "../shell/run_log.h"
#include "../shell/spooler_fetch.h"
#include "../shell/wide_text.h"
#include "port_monitor.h"

namespace {

// "<step>. EnumMonitors  failed with code: <system text>", the text of the
// last error.
void LogEnumFailure(InstallContext& context, int step) {
  LPWSTR text = SystemErrorText(GetLastError());
  LogLine(context, TEXT("%d. EnumMonitors  failed with code: %s"), step,
          text != nullptr ? text : TEXT("No Error or no description"));
  if (text != nullptr) LocalFree(text);
}

// The name of entry `i`: both levels begin with pName, but their entries
// differ in size. Null for an unknown level.
LPCWSTR MonitorName(const MonitorEnumeration& monitors, DWORD i) {
  if (!monitors.Buffer) return nullptr;
  if (monitors.Level == 1) return reinterpret_cast<const MONITOR_INFO_1W*>(monitors.Buffer.Get())[i].pName;
  if (monitors.Level == 2) return reinterpret_cast<const MONITOR_INFO_2W*>(monitors.Buffer.Get())[i].pName;
  return nullptr;
}

}  // namespace

void EnumMonitorsAll(InstallContext& context, MonitorEnumeration& monitors) {
  monitors.Buffer.Reset();
  monitors.Level = 2;
  monitors.Count = 0;
  DWORD count = 0;
  auto enumerate = [&count](LPBYTE block, DWORD size, LPDWORD needed) {
    return EnumMonitorsW(nullptr, 2, block, size, needed, &count);
  };
  DWORD needed = 0;
  switch (FetchSpoolerBlock(enumerate, monitors.Buffer, needed)) {
    case FetchOutcome::Filled: monitors.Count = count; break;
    case FetchOutcome::NothingToFetch: LogLine(context, TEXT("1. EnumMonitors returns true")); break;
    case FetchOutcome::SizingFailed: LogEnumFailure(context, 2); break;
    case FetchOutcome::NoMemory:
      LogLine(context, TEXT("3. EnumMonitors - can't allocate memory for buffer"));
      SetLastError(static_cast<DWORD>(E_OUTOFMEMORY));
      break;
    case FetchOutcome::FillingFailed: LogEnumFailure(context, 3); break;
  }
}

LONG FindProductMonitor(const MonitorEnumeration& monitors) {
  for (DWORD i = 0; i < monitors.Count; ++i) {
    LPCWSTR name = MonitorName(monitors, i);
    if (name != nullptr && WideEqual(name, ProductMonitorName)) return static_cast<LONG>(i);
  }
  return -1;
}

void LogMonitorList(InstallContext& context, const MonitorEnumeration& monitors) {
  LogLine(context, TEXT("------- %d existing monitors ----------"), static_cast<int>(monitors.Count));
  for (DWORD i = 0; monitors.Buffer && i < monitors.Count; ++i) {
    LPCWSTR name = MonitorName(monitors, i);
    LogLine(context, TEXT("%d. %s"), static_cast<int>(i + 1), name != nullptr ? name : TEXT("***EMPTY***"));
  }
  LogLine(context, TEXT("---------------------------------------"));
}

void LogNoProductMonitor(InstallContext& context) { LogLine(context, TEXT("No Ravelquill port monitor was found.")); }
