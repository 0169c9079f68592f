// winspool: port monitors.
#include "winspool_internal.h"

using namespace winsim;

namespace {

// Built before main: a test run that cannot allocate it ends either way.
// NOLINTNEXTLINE(cert-err58-cpp)
const std::vector<InfoLevel<Monitor>> kMonitorLevels = {
    {1, sizeof(MONITOR_INFO_1W), {{offsetof(MONITOR_INFO_1W, pName), [](const Monitor& m) -> Text { return m.name; }}}},
    {2,
     sizeof(MONITOR_INFO_2W),
     {
         {offsetof(MONITOR_INFO_2W, pName), [](const Monitor& m) -> Text { return m.name; }},
         {offsetof(MONITOR_INFO_2W, pEnvironment), [](const Monitor& m) -> Text { return m.environment; }},
         {offsetof(MONITOR_INFO_2W, pDLLName), [](const Monitor& m) -> Text { return m.dll; }},
     }},
};

}  // namespace

BOOL WINAPI EnumMonitorsW(LPWSTR pName, DWORD Level, LPBYTE pMonitor, DWORD cbBuf, LPDWORD pcbNeeded,
                          LPDWORD pcReturned) {
  WINSPOOL_ENTRY(FALSE);
  const InfoLevel<Monitor>* level = StartEnum(kMonitorLevels, Level, pName, pcbNeeded, pcReturned);
  if (level == nullptr) return FALSE;
  std::vector<const Monitor*> monitors;
  for (const Monitor& m : M().spooler.monitors) monitors.push_back(&m);
  return EndEnum(*level, monitors, pMonitor, cbBuf, pcbNeeded, pcReturned);
}

// Level 2 only. The spooler loads the module from the system directory
// (ERROR_MOD_NOT_FOUND when it is not there, ERROR_PROC_NOT_FOUND when it is
// no port monitor) and keeps it loaded.
BOOL WINAPI AddMonitorW(LPWSTR pName, DWORD Level, LPBYTE pMonitorInfo) {
  WINSPOOL_ENTRY(FALSE);
  if (Level != 2) {
    Fail(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  if (!IsLocalServer(pName)) {
    Fail(ERROR_INVALID_NAME);
    return FALSE;
  }
  const auto* info = reinterpret_cast<const MONITOR_INFO_2W*>(pMonitorInfo);
  if (info == nullptr || IsLocalServer(info->pName) || IsLocalServer(info->pDLLName)) {
    Fail(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::u16string environment = EnvironmentOf(info->pEnvironment);
  if (FoldCase(environment) != FoldCase(kNativeEnvironment)) {
    Fail(ERROR_INVALID_ENVIRONMENT);
    return FALSE;
  }
  Spooler& spooler = M().spooler;
  if (spooler.FindMonitor(FromWide(info->pName), environment) != nullptr) {
    Fail(ERROR_PRINT_MONITOR_ALREADY_INSTALLED);
    return FALSE;
  }
  const std::u16string dll = FromWide(info->pDLLName);
  const File* module =
      dll.find(u'\\') == std::u16string::npos ? M().files.Find(M().systemDirectory + u"\\" + dll) : nullptr;
  if (module == nullptr) {
    Fail(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }
  if (!module->monitorPorts) {
    Fail(ERROR_PROC_NOT_FOUND);
    return FALSE;
  }
  spooler.monitors.push_back(Monitor{FromWide(info->pName), environment, dll});
  return TRUE;
}

// The spooler unloads the module, so it can be deleted afterwards.
BOOL WINAPI DeleteMonitorW(LPWSTR pName, LPWSTR pEnvironment, LPWSTR pMonitorName) {
  WINSPOOL_ENTRY(FALSE);
  if (!IsLocalServer(pName)) {
    Fail(ERROR_INVALID_NAME);
    return FALSE;
  }
  if (IsLocalServer(pMonitorName)) {
    Fail(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::u16string environment = EnvironmentOf(pEnvironment);
  if (M().spooler.FindEnvironment(environment) == nullptr) {
    Fail(ERROR_INVALID_ENVIRONMENT);
    return FALSE;
  }
  const Monitor* monitor = M().spooler.FindMonitor(FromWide(pMonitorName), environment);
  if (monitor == nullptr) {
    Fail(ERROR_UNKNOWN_PRINT_MONITOR);
    return FALSE;
  }
  if (!PrintersOnMonitor(M(), *monitor).empty()) {
    Fail(ERROR_PRINT_MONITOR_IN_USE);
    return FALSE;
  }
  auto& monitors = M().spooler.monitors;
  monitors.erase(monitors.begin() + (monitor - monitors.data()));
  return TRUE;
}
