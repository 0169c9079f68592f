// The service control manager and the spooler service: what the installer's
// spooler check meets. A case may find the spooler running or stopped (a
// fresh Wine prefix has it stopped), so it asks first.
#include "conformance.h"

#include <winsvc.h>

using namespace conformance;

namespace {

DWORD StateOf(SC_HANDLE service) {
  SERVICE_STATUS status;
  Poison(status);
  return QueryServiceStatus(service, &status) ? status.dwCurrentState : 0;
}

// Polls until the service reaches `state`: a bounded wait, on winsim of
// virtual time.
void WaitFor(SC_HANDLE service, DWORD state) {
  for (int i = 0; i < 1500 && StateOf(service) != state; ++i) Sleep(20);
  ok(StateOf(service) == state, "the service did not reach state %lu; it is in %lu", state, StateOf(service));
}

}  // namespace

// Only the local machine's active database can be opened.
CONFORMANCE_CASE(open_manager_refusals) {
  const struct {
    const WCHAR *machine, *database;
    DWORD error;
  } cases[] = {{TEXT("\\\\RavelquillNoSuchHost"), nullptr,
                static_cast<DWORD>(
                    WineDiffers("OpenSCManagerW opens the local manager for any remote machine name (Windows: 1722)")
                        ? 0
                        : RPC_S_SERVER_UNAVAILABLE)},
               {nullptr, SERVICES_FAILED_DATABASEW, ERROR_DATABASE_DOES_NOT_EXIST},
               {nullptr, TEXT("NoSuchDatabase"), ERROR_INVALID_NAME}};
  for (const auto& c : cases) {
    const Row row("machine %s, database %s", Narrow(c.machine).c_str(), Narrow(c.database).c_str());
    SC_HANDLE manager = expect(OpenSCManagerW(c.machine, c.database, SC_MANAGER_CONNECT), c.error);
    if (manager != nullptr) CloseServiceHandle(manager);
  }
}

// Services are opened by their service name (in any case) only, through a
// manager handle; each call checks its handle's kind and rights; a closed
// handle is invalid. STOP on a stopped service gives 1062 with the status
// filled in; START on a running one 1056. The spooler is left running.
CONFORMANCE_CASE(service_handles_and_state_refusals) {
  SC_HANDLE manager = expect(OpenSCManagerW(nullptr, SERVICES_ACTIVE_DATABASEW, SC_MANAGER_CONNECT), 0);
  expect(OpenServiceW(manager, TEXT("Print Spooler"), SERVICE_QUERY_STATUS), ERROR_SERVICE_DOES_NOT_EXIST);
  SC_HANDLE query = expect(OpenServiceW(manager, TEXT("SPOOLER"), SERVICE_QUERY_STATUS), 0);
  SERVICE_STATUS status;
  expect(QueryServiceStatus(manager, &status), ERROR_INVALID_HANDLE);
  expect(StartServiceW(query, 0, nullptr), ERROR_ACCESS_DENIED);
  expect(QueryServiceStatus(query, nullptr), ERROR_INVALID_ADDRESS);
  expect(CloseServiceHandle(query), 0);
  expect(CloseServiceHandle(query), ERROR_INVALID_HANDLE);

  SC_HANDLE spooler =
      expect(OpenServiceW(manager, TEXT("spooler"), SERVICE_QUERY_STATUS | SERVICE_START | SERVICE_STOP), 0);
  if (StateOf(spooler) == SERVICE_RUNNING) expect(ControlService(spooler, SERVICE_CONTROL_STOP, &status), 0);
  WaitFor(spooler, SERVICE_STOPPED);
  Poison(status);
  expect(ControlService(spooler, SERVICE_CONTROL_STOP, &status), ERROR_SERVICE_NOT_ACTIVE);
  ok(status.dwCurrentState == SERVICE_STOPPED, "1062 came with state %lu", status.dwCurrentState);
  expect(StartServiceW(spooler, 0, nullptr), 0);
  WaitFor(spooler, SERVICE_RUNNING);
  expect(StartServiceW(spooler, 0, nullptr), ERROR_SERVICE_ALREADY_RUNNING);
  CloseServiceHandle(spooler);
  CloseServiceHandle(manager);
}
