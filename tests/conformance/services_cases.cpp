// The service control manager and the spooler service: what the installer's
// spooler check meets. A case may find the spooler running or stopped (a
// fresh Wine prefix has it stopped), so it asks first.
#include "conformance.h"

#include <winsvc.h>

namespace {

using conformance::Poison;
using conformance::PoisonError;

SC_HANDLE OpenManager() {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  ok(manager != nullptr, "OpenSCManagerW failed with %lu", GetLastError());
  return manager;
}

DWORD StateOf(SC_HANDLE service) {
  SERVICE_STATUS status;
  Poison(status);
  return QueryServiceStatus(service, &status) ? status.dwCurrentState : 0;
}

// Polls until the service reaches `state`: a bounded wait, on winsim of
// virtual time.
bool WaitFor(SC_HANDLE service, DWORD state) {
  for (int i = 0; i < 1500; ++i) {
    if (StateOf(service) == state) return true;
    Sleep(20);
  }
  ok(false, "the service did not reach state %lu; it is in %lu", state, StateOf(service));
  return false;
}

DWORD Failed(BOOL result) { return result ? ERROR_SUCCESS : GetLastError(); }

}  // namespace

// Only the local machine's active database can be opened.
CONFORMANCE_CASE(open_manager_refusals) {
  const bool remoteRefused =
      !conformance::WineDiffers("OpenSCManagerW opens the local manager for any remote machine name (Windows: 1722)");
  const struct {
    const WCHAR* machine;
    const WCHAR* database;
    DWORD error;
  } cases[] = {
      {TEXT("\\\\RavelquillNoSuchHost"), nullptr,
       static_cast<DWORD>(remoteRefused ? RPC_S_SERVER_UNAVAILABLE : ERROR_SUCCESS)},
      {nullptr, SERVICES_FAILED_DATABASEW, ERROR_DATABASE_DOES_NOT_EXIST},
      {nullptr, TEXT("NoSuchDatabase"), ERROR_INVALID_NAME},
  };
  for (const auto& c : cases) {
    PoisonError();
    SC_HANDLE manager = OpenSCManagerW(c.machine, c.database, SC_MANAGER_CONNECT);
    const DWORD error = GetLastError();
    ok((manager == nullptr) == (c.error != ERROR_SUCCESS), "machine %s, database %s: handle %p",
       conformance::Narrow(c.machine).c_str(), conformance::Narrow(c.database).c_str(), static_cast<void*>(manager));
    ok(error == c.error, "machine %s, database %s: error %lu, expected %lu", conformance::Narrow(c.machine).c_str(),
       conformance::Narrow(c.database).c_str(), error, c.error);
    if (manager != nullptr) CloseServiceHandle(manager);
  }
  PoisonError();
  SC_HANDLE manager = OpenSCManagerW(nullptr, SERVICES_ACTIVE_DATABASEW, SC_MANAGER_CONNECT);
  ok(manager != nullptr, "the active database failed with %lu", GetLastError());
  if (manager != nullptr) CloseServiceHandle(manager);
}

// Services are opened by their service name only, through a manager handle.
CONFORMANCE_CASE(open_service_by_name_only) {
  SC_HANDLE manager = OpenManager();
  const struct {
    const WCHAR* name;
    DWORD error;
  } cases[] = {
      {TEXT("RavelquillNoSuchService"), ERROR_SERVICE_DOES_NOT_EXIST},
      {TEXT("Print Spooler"), ERROR_SERVICE_DOES_NOT_EXIST},  // the display name
      {TEXT("SPOOLER"), ERROR_SUCCESS},
  };
  for (const auto& c : cases) {
    PoisonError();
    SC_HANDLE service = OpenServiceW(manager, c.name, SERVICE_QUERY_STATUS);
    const DWORD error = service != nullptr ? ERROR_SUCCESS : GetLastError();
    ok(error == c.error, "%s: error %lu, expected %lu", conformance::Narrow(c.name).c_str(), error, c.error);
    if (service == nullptr) continue;
    PoisonError();
    ok(OpenServiceW(service, TEXT("spooler"), SERVICE_QUERY_STATUS) == nullptr, "a service handle served as manager");
    ok_error(ERROR_INVALID_HANDLE);
    CloseServiceHandle(service);
  }
  CloseServiceHandle(manager);
}

// Each call checks its handle's kind and the rights it was opened with.
CONFORMANCE_CASE(service_calls_check_handle_and_rights) {
  SC_HANDLE manager = OpenManager();
  SC_HANDLE query = OpenServiceW(manager, TEXT("spooler"), SERVICE_QUERY_STATUS);
  SC_HANDLE interrogate = OpenServiceW(manager, TEXT("spooler"), SERVICE_INTERROGATE);
  ok(query != nullptr && interrogate != nullptr, "opening the spooler failed with %lu", GetLastError());
  SERVICE_STATUS status;
  const struct {
    const char* call;
    SC_HANDLE handle;
    DWORD error;
  } cases[] = {
      {"QueryServiceStatus", nullptr, ERROR_INVALID_HANDLE},
      {"QueryServiceStatus", manager, ERROR_INVALID_HANDLE},
      {"QueryServiceStatus", interrogate, ERROR_ACCESS_DENIED},
      {"ControlService", query, ERROR_ACCESS_DENIED},
      {"StartServiceW", query, ERROR_ACCESS_DENIED},
  };
  for (const auto& c : cases) {
    Poison(status);
    PoisonError();
    BOOL result;
    if (c.call[0] == 'Q') {
      result = QueryServiceStatus(c.handle, &status);
    } else if (c.call[0] == 'C') {
      result = ControlService(c.handle, SERVICE_CONTROL_STOP, &status);
    } else {
      result = StartServiceW(c.handle, 0, nullptr);
    }
    const DWORD error = Failed(result);
    ok(error == c.error, "%s(%p): error %lu, expected %lu", c.call, static_cast<void*>(c.handle), error, c.error);
  }
  PoisonError();
  ok(!QueryServiceStatus(query, nullptr), "a status went nowhere");
  ok_error(ERROR_INVALID_ADDRESS);
  Poison(status);
  ok(QueryServiceStatus(query, &status), "the query failed with %lu", GetLastError());
  ok(status.dwServiceType & SERVICE_WIN32_OWN_PROCESS, "service type %lx", status.dwServiceType);
  CloseServiceHandle(interrogate);
  CloseServiceHandle(query);
  CloseServiceHandle(manager);
}

// STOP on a stopped service gives 1062 with the status filled in; START on a
// running one 1056. The spooler is left running.
CONFORMANCE_CASE(stop_and_start_refusals_by_state) {
  SC_HANDLE manager = OpenManager();
  SC_HANDLE spooler = OpenServiceW(manager, TEXT("spooler"), SERVICE_QUERY_STATUS | SERVICE_START | SERVICE_STOP);
  ok(spooler != nullptr, "opening the spooler failed with %lu", GetLastError());
  SERVICE_STATUS status;
  const DWORD state = StateOf(spooler);
  ok(state == SERVICE_RUNNING || state == SERVICE_STOPPED, "the spooler is in state %lu", state);
  if (state == SERVICE_RUNNING) {
    Poison(status);
    PoisonError();
    ok(ControlService(spooler, SERVICE_CONTROL_STOP, &status), "STOP failed with %lu", GetLastError());
    ok(status.dwCurrentState == SERVICE_STOP_PENDING || status.dwCurrentState == SERVICE_STOPPED,
       "STOP reported state %lu", status.dwCurrentState);
  }
  WaitFor(spooler, SERVICE_STOPPED);
  Poison(status);
  PoisonError();
  ok(!ControlService(spooler, SERVICE_CONTROL_STOP, &status), "STOP of a stopped service succeeded");
  ok_error(ERROR_SERVICE_NOT_ACTIVE);
  ok(status.dwCurrentState == SERVICE_STOPPED, "1062 came with state %lu", status.dwCurrentState);

  PoisonError();
  ok(StartServiceW(spooler, 0, nullptr), "START failed with %lu", GetLastError());
  WaitFor(spooler, SERVICE_RUNNING);
  PoisonError();
  ok(!StartServiceW(spooler, 0, nullptr), "START of a running service succeeded");
  ok_error(ERROR_SERVICE_ALREADY_RUNNING);
  CloseServiceHandle(spooler);
  CloseServiceHandle(manager);
}

// A closed manager or service handle is invalid from then on.
CONFORMANCE_CASE(close_service_handle_twice) {
  SC_HANDLE manager = OpenManager();
  SC_HANDLE service = OpenServiceW(manager, TEXT("spooler"), SERVICE_QUERY_STATUS);
  for (SC_HANDLE handle : {service, manager}) {
    PoisonError();
    ok(CloseServiceHandle(handle), "the first close failed with %lu", GetLastError());
    PoisonError();
    ok(!CloseServiceHandle(handle), "the second close succeeded");
    ok_error(ERROR_INVALID_HANDLE);
  }
}
