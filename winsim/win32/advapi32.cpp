// advapi32: the registry and the service control manager; one section each.
#include <windows.h>
#include <winsvc.h>

#include <winsim/ansi_code_page.h>

#include "api.h"

using namespace winsim;

// ============================================================================
// advapi32: the registry. The calls return their error code and leave the
// thread's last error alone, as Windows' do.

namespace {

// An armed fault returns its error as the call's result (the registry's
// calls have no other failure form), leaving the last error alone.
#define REGISTRY_FAULT()                                     \
  do {                                                       \
    if (!CallerRuns()) return ERROR_INVALID_HANDLE;          \
    const DWORD kept = M().lastError;                        \
    if (const auto winsim_fault = M().TakeFault(__func__)) { \
      M().lastError = kept;                                  \
      return static_cast<LONG>(winsim_fault->error);         \
    }                                                        \
  } while (0)

constexpr REGSAM kSpecificRights = 0xFFFF;
constexpr std::size_t kMaxKeyName = 255;

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

REGSAM SpecificRights(REGSAM sam) {
  REGSAM rights = sam & kSpecificRights;
  if (sam & GENERIC_READ) rights |= KEY_READ;
  if (sam & GENERIC_WRITE) rights |= KEY_WRITE;
  if (sam & GENERIC_EXECUTE) rights |= KEY_EXECUTE;
  if (sam & (GENERIC_ALL | MAXIMUM_ALLOWED)) rights |= KEY_ALL_ACCESS;
  return rights & kSpecificRights;
}

// What a handle names: its key and the specific rights it was granted.
struct OpenKey {
  RegistryKey* key = nullptr;
  REGSAM granted = 0;
};

// The predefined roots are open with every right the key allows.
bool Resolve(HKEY hKey, OpenKey& out) {
  Registry& registry = M().registry;
  for (const RegistryRoot& root : RegistryRoots()) {
    if (hKey == root.handle) {
      out.key = &registry.CreateKey(root.name);
      out.granted = kSpecificRights;
      return true;
    }
  }
  const Handle* handle = M().handles.Find(HandleValue(hKey), HandleKind::Key, M().caller);
  if (handle == nullptr) return false;
  auto key = registry.keys.find(handle->object);
  if (key == registry.keys.end()) return false;
  out.key = &key->second;
  out.granted = handle->access;
  return true;
}

bool Allows(const OpenKey& handle, REGSAM right) { return (handle.granted & right) && !(handle.key->denied & right); }

// Splits a sub-key path; false for an empty or overlong name inside it.
bool SubKeyNames(const std::u16string& subKey, std::vector<std::u16string>& names) {
  std::u16string rest = subKey;
  while (!rest.empty() && rest.back() == u'\\') rest.pop_back();
  std::size_t start = 0;
  while (!rest.empty() && start <= rest.size()) {
    std::size_t end = rest.find(u'\\', start);
    if (end == std::u16string::npos) end = rest.size();
    if (end == start || end - start > kMaxKeyName) return false;
    names.push_back(rest.substr(start, end - start));
    start = end + 1;
  }
  return true;
}

HKEY NewHandle(const RegistryKey& key, REGSAM granted) {
  return NewCallerHandle<HKEY>(HandleKind::Key, FoldCase(key.path), granted);
}

// A sub-key path below the key a handle names.
struct SubKey {
  OpenKey parent;
  std::vector<std::u16string> names;
  std::u16string path;  // the parent's path and the names
};

// ERROR_INVALID_HANDLE for a handle that names no key, `badName` for a path
// with an empty or overlong name: the calls differ in that error.
LONG ResolveSubKey(HKEY hKey, const std::u16string& subKey, LONG badName, SubKey& out) {
  if (!Resolve(hKey, out.parent)) return ERROR_INVALID_HANDLE;
  if (!SubKeyNames(subKey, out.names)) return badName;
  out.path = out.parent.key->path;
  for (const auto& name : out.names) out.path += u"\\" + name;
  return ERROR_SUCCESS;
}

// A new handle of `key` with the rights asked for; MAXIMUM_ALLOWED takes
// those the key allows.
LONG OpenExisting(const RegistryKey& key, REGSAM samDesired, PHKEY phkResult) {
  REGSAM wanted = SpecificRights(samDesired);
  if (samDesired & MAXIMUM_ALLOWED) {
    wanted &= ~key.denied;
  } else if (wanted & key.denied) {
    return ERROR_ACCESS_DENIED;
  }
  *phkResult = NewHandle(key, wanted);
  return ERROR_SUCCESS;
}

LONG OpenKeyW(HKEY hKey, const std::u16string& subKey, REGSAM samDesired, PHKEY phkResult) {
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  SubKey sub;
  const LONG resolved = ResolveSubKey(hKey, subKey, ERROR_FILE_NOT_FOUND, sub);
  if (resolved != ERROR_SUCCESS) return resolved;
  const RegistryKey* key = M().registry.FindKey(sub.path);
  if (key == nullptr) return ERROR_FILE_NOT_FOUND;
  return OpenExisting(*key, samDesired, phkResult);
}

const RegistryValue* FindValue(const OpenKey& handle, const std::u16string& name) {
  auto it = handle.key->values.find(FoldCase(name));
  return it == handle.key->values.end() ? nullptr : &it->second;
}

// The shared part of the queries: `data` is what the caller receives.
LONG CopyValue(DWORD type, const std::vector<BYTE>& data, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  if (lpType != nullptr) *lpType = type;
  const DWORD size = static_cast<DWORD>(data.size());
  if (lpData == nullptr) {
    if (lpcbData != nullptr) *lpcbData = size;
    return ERROR_SUCCESS;
  }
  const DWORD room = *lpcbData;
  *lpcbData = size;
  if (room < size) return ERROR_MORE_DATA;
  if (size != 0) std::memcpy(lpData, data.data(), size);
  return ERROR_SUCCESS;
}

LONG QueryValue(HKEY hKey, const std::u16string& name, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                LPDWORD lpcbData, bool ansi) {
  OpenKey handle;
  if (!Resolve(hKey, handle)) return ERROR_INVALID_HANDLE;
  if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr)) return ERROR_INVALID_PARAMETER;
  if (!Allows(handle, KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  const RegistryValue* value = FindValue(handle, name);
  if (value == nullptr) return ERROR_FILE_NOT_FOUND;
  if (!ansi || !IsStringType(value->type)) return CopyValue(value->type, value->data, lpType, lpData, lpcbData);
  std::vector<BYTE> narrow;
  for (std::size_t i = 0; i + 1 < value->data.size(); i += 2) {
    const char16_t c = static_cast<char16_t>(value->data[i] | (value->data[i + 1] << 8));
    narrow.push_back(static_cast<BYTE>(ToAnsi(c)));
  }
  return CopyValue(value->type, narrow, lpType, lpData, lpcbData);
}

LONG DeleteValue(HKEY hKey, const std::u16string& name) {
  OpenKey handle;
  if (!Resolve(hKey, handle)) return ERROR_INVALID_HANDLE;
  if (!Allows(handle, KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  return handle.key->values.erase(FoldCase(name)) != 0 ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

}  // namespace

// A NULL or empty sub-key opens the key itself again. On failure
// *phkResult is NULL.
LONG WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult) {
  REGISTRY_FAULT();
  return OpenKeyW(hKey, FromWide(lpSubKey), samDesired, phkResult);
}

LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult) {
  REGISTRY_FAULT();
  return OpenKeyW(hKey, FromAnsi(lpSubKey), samDesired, phkResult);
}

// Creates the missing keys on the way (the parent handle needs
// KEY_CREATE_SUB_KEY for that), or opens the key when it exists.
LONG WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR, DWORD, REGSAM samDesired,
                            const LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition) {
  REGISTRY_FAULT();
  if (phkResult == nullptr || lpSubKey == nullptr) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  SubKey sub;
  const LONG resolved = ResolveSubKey(hKey, FromWide(lpSubKey), ERROR_INVALID_PARAMETER, sub);
  if (resolved != ERROR_SUCCESS) return resolved;
  Registry& registry = M().registry;
  if (const RegistryKey* found = registry.FindKey(sub.path)) {
    const LONG result = OpenExisting(*found, samDesired, phkResult);
    if (result == ERROR_SUCCESS && lpdwDisposition != nullptr) *lpdwDisposition = REG_OPENED_EXISTING_KEY;
    return result;
  }
  // The deepest existing key must let a sub-key be made under it.
  std::u16string existing = sub.parent.key->path;
  for (const auto& name : sub.names) {
    std::u16string deeper = existing;
    deeper.append(u"\\").append(name);
    if (registry.FindKey(deeper) == nullptr) break;
    existing = std::move(deeper);
  }
  const RegistryKey* above = registry.FindKey(existing);
  if (!(sub.parent.granted & KEY_CREATE_SUB_KEY) || (above->denied & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
  const REGSAM wanted = SpecificRights(samDesired);
  const RegistryKey& key = registry.CreateKey(sub.path);
  *phkResult = NewHandle(key, wanted);
  if (lpdwDisposition != nullptr) *lpdwDisposition = REG_CREATED_NEW_KEY;
  return ERROR_SUCCESS;
}

// With lpData NULL the size is reported; a short buffer gives
// ERROR_MORE_DATA with the size needed. Strings come as stored: a string
// stored without its terminator comes without one.
LONG WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                             LPDWORD lpcbData) {
  REGISTRY_FAULT();
  return QueryValue(hKey, FromWide(lpValueName), lpReserved, lpType, lpData, lpcbData, false);
}

// String values come converted to the ANSI page, one byte a character.
LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                             LPDWORD lpcbData) {
  REGISTRY_FAULT();
  return QueryValue(hKey, FromAnsi(lpValueName), lpReserved, lpType, lpData, lpcbData, true);
}

// The bytes are stored as given, whatever the type says.
LONG WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData, DWORD cbData) {
  REGISTRY_FAULT();
  OpenKey handle;
  if (!Resolve(hKey, handle)) return ERROR_INVALID_HANDLE;
  if (lpData == nullptr && cbData != 0) return ERROR_NOACCESS;
  if (!Allows(handle, KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  const std::u16string name = FromWide(lpValueName);
  std::vector<BYTE> data(cbData);
  if (cbData != 0) std::memcpy(data.data(), lpData, cbData);
  handle.key->values[FoldCase(name)] = RegistryValue{name, dwType, std::move(data)};
  return ERROR_SUCCESS;
}

LONG WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
  REGISTRY_FAULT();
  return DeleteValue(hKey, FromWide(lpValueName));
}

LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  REGISTRY_FAULT();
  return DeleteValue(hKey, FromAnsi(lpValueName));
}

// A key with sub-keys, a predefined root or a read-only key gives
// ERROR_ACCESS_DENIED; an empty name deletes the key the handle names.
LONG WINAPI RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
  REGISTRY_FAULT();
  if (lpSubKey == nullptr) return ERROR_INVALID_PARAMETER;
  SubKey sub;
  const LONG resolved = ResolveSubKey(hKey, FromWide(lpSubKey), ERROR_FILE_NOT_FOUND, sub);
  if (resolved != ERROR_SUCCESS) return resolved;
  Registry& registry = M().registry;
  const RegistryKey* key = registry.FindKey(sub.path);
  if (key == nullptr) return ERROR_FILE_NOT_FOUND;
  const std::u16string folded = FoldCase(key->path);
  const bool root = folded.find(u'\\') == std::u16string::npos;
  if (root || registry.HasSubKeys(key->path) || (key->denied & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  registry.keys.erase(folded);
  return ERROR_SUCCESS;
}

// Closing a predefined root succeeds and changes nothing.
LONG WINAPI RegCloseKey(HKEY hKey) {
  REGISTRY_FAULT();
  if (M().handles.Find(HandleValue(hKey), HandleKind::Key, M().caller) != nullptr) {
    CloseHandleEntry(M(), HandleValue(hKey));
    return ERROR_SUCCESS;
  }
  OpenKey root;
  return Resolve(hKey, root) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

// ============================================================================
// advapi32: the service control manager and its one modelled service, the
// spooler, whose stops and starts take time on the machine's clock.

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
