// The registry of the simulated machine. Keys are named by full paths that
// begin with the root's name ("HKEY_LOCAL_MACHINE\SOFTWARE\..."; "HKLM\" and
// "HKCU\" are accepted too) and compared without regard to case.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <windows.h>

namespace winsim {

struct RegistryValue {
  std::u16string name;  // original case; empty for the default value
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

struct RegistryKey {
  std::u16string path;                             // full path, original case
  std::map<std::u16string, RegistryValue> values;  // FoldCase(name) -> value
  // Specific rights (KEY_SET_VALUE, KEY_CREATE_SUB_KEY, ...) no caller is
  // granted: KEY_SET_VALUE | KEY_CREATE_SUB_KEY makes a key read-only, as
  // HKLM is for a program that is not elevated.
  REGSAM denied = 0;
};

// A predefined root key: its handle, its name, and the name's short form.
struct RegistryRoot {
  HKEY handle;
  const char16_t* name;       // "HKEY_LOCAL_MACHINE"
  const char16_t* shortName;  // "HKLM"
};
const std::vector<RegistryRoot>& RegistryRoots();

// The keys a fresh Windows x64 has that the installer looks at.
std::map<std::u16string, RegistryKey> DefaultRegistryKeys();

struct Registry {
  std::map<std::u16string, RegistryKey> keys = DefaultRegistryKeys();  // FoldCase(path) -> key

  // The canonical full path ("HKEY_LOCAL_MACHINE\..."), or empty for an
  // unknown root.
  static std::u16string Canonical(const std::u16string& path);
  RegistryKey* FindKey(const std::u16string& path);
  const RegistryKey* FindKey(const std::u16string& path) const;
  // Whether any key lies below the key at `path`.
  bool HasSubKeys(const std::u16string& path) const;
  // Creates the key and the keys above it as needed.
  RegistryKey& CreateKey(const std::u16string& path);
  const RegistryValue* FindValue(const std::u16string& keyPath, const std::u16string& name) const;
  void SetValue(const std::u16string& keyPath, const std::u16string& name, DWORD type, std::vector<BYTE> data);
  void SetString(const std::u16string& keyPath, const std::u16string& name, const std::u16string& text);
  void SetDword(const std::u16string& keyPath, const std::u16string& name, DWORD value);
  void SetMultiString(const std::u16string& keyPath, const std::u16string& name,
                      const std::vector<std::u16string>& strings);
  bool DeleteValue(const std::u16string& keyPath, const std::u16string& name);
};

// The text of REG_SZ bytes, up to its terminator (all of it when there is none).
std::u16string StringOf(const std::vector<BYTE>& bytes);
// REG_MULTI_SZ bytes: each string with its terminator, then the final zero.
std::vector<BYTE> MultiStringBytes(const std::vector<std::u16string>& strings);
// The strings of REG_MULTI_SZ bytes before the final zero, empty ones too
// (PendingFileRenameOperations holds empty targets); an unterminated last
// string is kept as it is.
std::vector<std::u16string> MultiStrings(const std::vector<BYTE>& bytes);

}  // namespace winsim
