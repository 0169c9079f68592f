// advapi32: the service control manager and its one modelled service, the
// spooler, whose stops and starts take time on the machine's clock.
#include <windows.h>
#include <winsvc.h>

#include "api.h"

using namespace winsim;

static_assert(sizeof(SERVICE_STATUS) == 28, "SERVICE_STATUS must have the SDK's size");

namespace {

bool IsPending(DWORD state) {
  return state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING || state == SERVICE_CONTINUE_PENDING ||
         state == SERVICE_PAUSE_PENDING;
}

// Enters `pending` and, `ms` later on the clock, `reached`, unless the
// service has changed state in between.
void BeginTransition(Machine& machine, DWORD pending, DWORD reached, DWORD ms) {
  EnterServiceState(machine, pending);
  if (ms == 0) {
    EnterServiceState(machine, reached);
    return;
  }
  Event event;
  event.at = machine.clock.now + ms;
  event.kind = EventKind::ServiceState;
  event.value = reached;
  event.stamp = machine.services.spooler.transition;
  machine.Schedule(event);
}

void FillStatus(const Service& service, LPSERVICE_STATUS status) {
  *status = SERVICE_STATUS{};
  status->dwServiceType = SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS;
  status->dwCurrentState = service.state;
  if (service.state == SERVICE_RUNNING || service.state == SERVICE_PAUSED) {
    status->dwControlsAccepted = SERVICE_ACCEPT_STOP;
  }
  if (IsPending(service.state)) {
    status->dwCheckPoint = 1;
    status->dwWaitHint = service.state == SERVICE_STOP_PENDING ? service.stopMs : service.startMs;
  }
}

SC_HANDLE NewHandle(HandleKind kind, DWORD access, const std::u16string& object = std::u16string()) {
  return NewCallerHandle<SC_HANDLE>(kind, object, access);
}

bool Holds(const Handle& handle, DWORD rights) {
  if ((handle.access & rights) == rights) return true;
  Fail(ERROR_ACCESS_DENIED);
  return false;
}

// A service handle and a status record to fill, as ControlService and
// QueryServiceStatus both need; null with the last error set otherwise.
const Handle* StatusCall(SC_HANDLE hService, LPSERVICE_STATUS status) {
  const Handle* handle = CallerHandle(hService, HandleKind::Service);
  if (handle != nullptr && status == nullptr) {
    Fail(ERROR_INVALID_ADDRESS);
    return nullptr;
  }
  return handle;
}

}  // namespace

// Local machine only (null or empty name); a null database means
// ServicesActive. SC_MANAGER_CONNECT comes with any request, and success
// clears the last error.
SC_HANDLE WINAPI OpenSCManagerW(LPCWSTR lpMachineName, LPCWSTR lpDatabaseName, DWORD dwDesiredAccess) {
  WINSIM_FAULT(nullptr);
  if (lpMachineName != nullptr && *lpMachineName != 0) {
    Fail(RPC_S_SERVER_UNAVAILABLE);
    return nullptr;
  }
  if (lpDatabaseName != nullptr) {
    const std::u16string database = FoldCase(FromWide(lpDatabaseName));
    if (database == FoldCase(SERVICES_FAILED_DATABASEW)) {
      Fail(ERROR_DATABASE_DOES_NOT_EXIST);
      return nullptr;
    }
    if (database != FoldCase(SERVICES_ACTIVE_DATABASEW)) {
      Fail(ERROR_INVALID_NAME);
      return nullptr;
    }
  }
  if (M().services.managerOpenError != 0) {
    Fail(M().services.managerOpenError);
    return nullptr;
  }
  M().lastError = ERROR_SUCCESS;
  return NewHandle(HandleKind::ServiceManager, dwDesiredAccess | SC_MANAGER_CONNECT);
}

// The service name, not its display name, without regard to case. Rights
// beyond what the service's security grants give ERROR_ACCESS_DENIED.
SC_HANDLE WINAPI OpenServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName, DWORD dwDesiredAccess) {
  WINSIM_FAULT(nullptr);
  if (CallerHandle(hSCManager, HandleKind::ServiceManager) == nullptr) return nullptr;
  if (lpServiceName == nullptr) {
    Fail(ERROR_INVALID_ADDRESS);
    return nullptr;
  }
  const Service& service = M().services.spooler;
  if (FoldCase(FromWide(lpServiceName)) != FoldCase(service.name)) {
    Fail(ERROR_SERVICE_DOES_NOT_EXIST);
    return nullptr;
  }
  if (service.openError != 0) {
    Fail(service.openError);
    return nullptr;
  }
  if ((dwDesiredAccess & ~service.grantableRights) != 0) {
    Fail(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  return NewHandle(HandleKind::Service, dwDesiredAccess, service.name);
}

// Stop and interrogate only; the spooler accepts no pause or continue. A
// service that is stopped gives 1062, one in a pending state 1061. Windows
// fills the status on success and on 1052, 1061 and 1062 only.
BOOL WINAPI ControlService(SC_HANDLE hService, DWORD dwControl, LPSERVICE_STATUS lpServiceStatus) {
  WINSIM_FAULT(FALSE);
  const Handle* handle = StatusCall(hService, lpServiceStatus);
  if (handle == nullptr) return FALSE;
  DWORD needed = 0;
  switch (dwControl) {
    case SERVICE_CONTROL_STOP: needed = SERVICE_STOP; break;
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE: needed = SERVICE_PAUSE_CONTINUE; break;
    case SERVICE_CONTROL_INTERROGATE: needed = SERVICE_INTERROGATE; break;
    default: Fail(ERROR_INVALID_PARAMETER); return FALSE;
  }
  if (!Holds(*handle, needed)) return FALSE;

  Machine& machine = M();
  Service& service = machine.services.spooler;
  DWORD refusal = 0;
  if (service.state == SERVICE_STOPPED) {
    refusal = ERROR_SERVICE_NOT_ACTIVE;
  } else if (IsPending(service.state)) {
    refusal = ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
  } else if (dwControl == SERVICE_CONTROL_PAUSE || dwControl == SERVICE_CONTROL_CONTINUE) {
    refusal = ERROR_INVALID_SERVICE_CONTROL;
  } else if (dwControl == SERVICE_CONTROL_STOP) {
    refusal = service.stopRefusal;
  }
  if (refusal != 0) {
    if (refusal == ERROR_SERVICE_NOT_ACTIVE || refusal == ERROR_SERVICE_CANNOT_ACCEPT_CTRL ||
        refusal == ERROR_INVALID_SERVICE_CONTROL) {
      FillStatus(service, lpServiceStatus);
    }
    Fail(refusal);
    return FALSE;
  }
  if (dwControl == SERVICE_CONTROL_STOP) {
    ++service.stopsAccepted;
    BeginTransition(machine, SERVICE_STOP_PENDING, SERVICE_STOPPED, service.stopMs);
  }
  FillStatus(service, lpServiceStatus);
  return TRUE;
}

BOOL WINAPI QueryServiceStatus(SC_HANDLE hService, LPSERVICE_STATUS lpServiceStatus) {
  WINSIM_FAULT(FALSE);
  const Handle* handle = StatusCall(hService, lpServiceStatus);
  if (handle == nullptr) return FALSE;
  if (!Holds(*handle, SERVICE_QUERY_STATUS)) return FALSE;
  FillStatus(M().services.spooler, lpServiceStatus);
  return TRUE;
}

// Only a stopped service starts: any other state, paused included, gives
// 1056. Success means the start began (START_PENDING), not that it ended.
BOOL WINAPI StartServiceW(SC_HANDLE hService, DWORD dwNumServiceArgs, LPCWSTR* lpServiceArgVectors) {
  WINSIM_FAULT(FALSE);
  const Handle* handle = CallerHandle(hService, HandleKind::Service);
  if (handle == nullptr) return FALSE;
  if (!Holds(*handle, SERVICE_START)) return FALSE;
  if (dwNumServiceArgs != 0 && lpServiceArgVectors == nullptr) {
    Fail(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Machine& machine = M();
  Service& service = machine.services.spooler;
  if (service.state != SERVICE_STOPPED) {
    Fail(ERROR_SERVICE_ALREADY_RUNNING);
    return FALSE;
  }
  ++service.startsAccepted;
  if (service.startNeverCompletes) {
    EnterServiceState(machine, SERVICE_START_PENDING);
  } else {
    BeginTransition(machine, SERVICE_START_PENDING, SERVICE_RUNNING, service.startMs);
  }
  return TRUE;
}

// Manager and service handles alike; a closed handle stays invalid.
BOOL WINAPI CloseServiceHandle(SC_HANDLE hSCObject) {
  WINSIM_FAULT(FALSE);
  const std::uint64_t value = HandleValue(hSCObject);
  const DWORD caller = M().caller;
  if (M().handles.Find(value, HandleKind::ServiceManager, caller) == nullptr &&
      M().handles.Find(value, HandleKind::Service, caller) == nullptr) {
    Fail(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  CloseHandleEntry(M(), value);
  return TRUE;
}
