#include "spooler_service.h"

#include "../shell/run_log.h"

namespace {

// The spooler is polled every 200 ms, 50 times: a stop or a start gets ten
// seconds before we give up on it.
constexpr DWORD PollInterval = 200;
constexpr int PollCount = 50;

constexpr DWORD ManagerRights = STANDARD_RIGHTS_REQUIRED | SC_MANAGER_CONNECT;
constexpr DWORD RestartRights = SERVICE_QUERY_STATUS | SERVICE_START | SERVICE_STOP;
constexpr DWORD CheckRights = SERVICE_QUERY_STATUS | SERVICE_START;

constexpr LPCWSTR SpoolerName = TEXT("spooler");

SC_HANDLE OpenServiceManager() { return OpenSCManagerW(nullptr, nullptr, ManagerRights); }

// False when the start was refused because the service has not yet left
// its last run (it is still stopping): worth sending again.
bool SendStart(SC_HANDLE service) {
  return StartServiceW(service, 0, nullptr) || GetLastError() != ERROR_SERVICE_ALREADY_RUNNING;
}

// A restart with no context logs nothing at all.
void LogErrorTo(InstallContext* context, ErrorLine line) {
  if (context != nullptr) LogError(*context, line);
}

// Polls until the service reports `state` or the wait runs out. A failed
// query keeps the state read before it. With `startWhenStopped`, a start
// that was refused because the service was still stopping is sent again
// once a poll finds it stopped: otherwise a slow stop would leave the
// spooler stopped for good.
bool WaitForState(SC_HANDLE service, DWORD state, bool startWhenStopped = false) {
  SERVICE_STATUS status{};
  QueryServiceStatus(service, &status);
  for (int poll = 0; poll < PollCount; ++poll) {
    if (status.dwCurrentState == state) return true;
    if (startWhenStopped && status.dwCurrentState == SERVICE_STOPPED) {
      startWhenStopped = !SendStart(service);
    }
    Sleep(PollInterval);
    QueryServiceStatus(service, &status);
  }
  return status.dwCurrentState == state;
}

}  // namespace

bool EnsureServiceRunning(SC_HANDLE service) {
  // No service, nothing to wait ten seconds for.
  if (service == nullptr) return false;
  // A service that already runs (or is on its way) refuses the start; the
  // wait decides.
  return WaitForState(service, SERVICE_RUNNING, !SendStart(service));
}

bool CheckSpooler(InstallContext& context) {
  LogLine(context, TEXT(">Check Spooler"));
  LogDepthScope section(context, 1);

  SC_HANDLE manager = OpenServiceManager();
  if (manager == nullptr) {
    LogError(context, ErrorOpenServiceManager);
    return false;
  }
  bool running = false;
  SC_HANDLE service = OpenServiceW(manager, SpoolerName, CheckRights);
  if (service == nullptr) {
    LogError(context, ErrorOpenSpooler);
  } else {
    running = true;
    // A spooler whose state cannot be read is left as it is.
    SERVICE_STATUS status{};
    if (QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_RUNNING &&
        !EnsureServiceRunning(service)) {
      LogError(context, ErrorStartSpooler);
      running = false;
    }
    CloseServiceHandle(service);
  }
  CloseServiceHandle(manager);
  return running;
}

void RestartSpooler(SpoolerRestart& restart, InstallContext* context) {
  if (context != nullptr) LogLine(*context, TEXT(">Restart Spooler"));
  restart.Context = context;
  restart.Service = nullptr;
  restart.StopRequested = 0;

  restart.ServiceManager = OpenServiceManager();
  if (restart.ServiceManager == nullptr) {
    LogErrorTo(context, ErrorOpenServiceManager);
    return;
  }
  restart.Service = OpenServiceW(restart.ServiceManager, SpoolerName, RestartRights);
  if (restart.Service == nullptr) {
    LogErrorTo(context, ErrorOpenSpooler);
    return;
  }
  SERVICE_STATUS status{};
  if (!ControlService(restart.Service, SERVICE_CONTROL_STOP, &status)) {
    const DWORD error = GetLastError();
    // A spooler that was not running is where we wanted it.
    if (error != ERROR_SERVICE_NOT_ACTIVE && context != nullptr) {
      LogError(*context, ErrorControlService, static_cast<int>(error), error);
    }
  }
  // Also after a refused stop: finishing then starts the spooler whatever
  // state it is found in.
  restart.StopRequested = 1;
  if (!WaitForState(restart.Service, SERVICE_STOPPED)) {
    // The caller's work goes on; it may still succeed.
    LogErrorTo(context, ErrorStopSpooler);
  }
}

void FinishSpoolerRestart(SpoolerRestart& restart) {
  if (restart.Service != nullptr) {
    if (restart.StopRequested && !EnsureServiceRunning(restart.Service)) {
      LogErrorTo(restart.Context, ErrorStartSpooler);
    }
    CloseServiceHandle(restart.Service);
  }
  // Closing a null manager handle would only fail; the cleared handles make
  // a second finish harmless instead of closing them twice.
  if (restart.ServiceManager != nullptr) CloseServiceHandle(restart.ServiceManager);
  restart.Service = nullptr;
  restart.ServiceManager = nullptr;
  restart.StopRequested = 0;
}
