// advapi32: the registry. The calls return their error code and leave the
// thread's last error alone, as Windows' do.
#include <windows.h>

#include "ansi_code_page.h"
#include "api.h"

using namespace winsim;

namespace {

// An armed fault returns its error as the call's result.
#define REGISTRY_FAULT()                                   \
  do {                                                     \
    if (!CallerRuns()) return ERROR_INVALID_HANDLE;        \
    const DWORD kept = M().lastError;                      \
    if (M().TakeFault(__func__)) {                         \
      const LONG armed = static_cast<LONG>(M().lastError); \
      M().lastError = kept;                                \
      return armed;                                        \
    }                                                      \
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

LONG OpenKeyW(HKEY hKey, const std::u16string& subKey, REGSAM samDesired, PHKEY phkResult) {
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  OpenKey parent;
  if (!Resolve(hKey, parent)) return ERROR_INVALID_HANDLE;
  std::vector<std::u16string> names;
  if (!SubKeyNames(subKey, names)) return ERROR_FILE_NOT_FOUND;
  std::u16string path = parent.key->path;
  for (const auto& name : names) path += u"\\" + name;
  RegistryKey* key = M().registry.FindKey(path);
  if (key == nullptr) return ERROR_FILE_NOT_FOUND;
  REGSAM wanted = SpecificRights(samDesired);
  if (samDesired & MAXIMUM_ALLOWED) {
    wanted &= ~key->denied;
  } else if (wanted & key->denied) {
    return ERROR_ACCESS_DENIED;
  }
  *phkResult = NewHandle(*key, wanted);
  return ERROR_SUCCESS;
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
  OpenKey parent;
  if (!Resolve(hKey, parent)) return ERROR_INVALID_HANDLE;
  std::vector<std::u16string> names;
  if (!SubKeyNames(FromWide(lpSubKey), names)) return ERROR_INVALID_PARAMETER;
  Registry& registry = M().registry;
  std::u16string path = parent.key->path;
  for (const auto& name : names) path += u"\\" + name;
  if (registry.FindKey(path) != nullptr) {
    const LONG result = OpenKeyW(hKey, FromWide(lpSubKey), samDesired, phkResult);
    if (result == ERROR_SUCCESS && lpdwDisposition != nullptr) *lpdwDisposition = REG_OPENED_EXISTING_KEY;
    return result;
  }
  // The deepest existing key must let a sub-key be made under it.
  std::u16string existing = parent.key->path;
  for (const auto& name : names) {
    std::u16string deeper = existing;
    deeper.append(u"\\").append(name);
    if (registry.FindKey(deeper) == nullptr) break;
    existing = std::move(deeper);
  }
  const RegistryKey* above = registry.FindKey(existing);
  if (!(parent.granted & KEY_CREATE_SUB_KEY) || (above->denied & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
  const REGSAM wanted = SpecificRights(samDesired);
  const RegistryKey& key = registry.CreateKey(path);
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
  OpenKey parent;
  if (!Resolve(hKey, parent)) return ERROR_INVALID_HANDLE;
  std::vector<std::u16string> names;
  if (!SubKeyNames(FromWide(lpSubKey), names)) return ERROR_FILE_NOT_FOUND;
  Registry& registry = M().registry;
  std::u16string path = parent.key->path;
  for (const auto& name : names) path += u"\\" + name;
  RegistryKey* key = registry.FindKey(path);
  if (key == nullptr) return ERROR_FILE_NOT_FOUND;
  const std::u16string folded = FoldCase(key->path);
  const bool root = folded.find(u'\\') == std::u16string::npos;
  bool hasSubKeys = false;
  for (const auto& other : registry.keys) {
    hasSubKeys = hasSubKeys || other.first.compare(0, folded.size() + 1, folded + u"\\") == 0;
  }
  if (root || hasSubKeys || (key->denied & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
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
