// The registry model: keys by full path, typed values, and the keys a fresh
// machine has.
#include <winsim/machine.h>

#include <cstring>

namespace winsim {

namespace {

// Creates a key given by its canonical path, and the keys above it.
RegistryKey& CreateIn(std::map<std::u16string, RegistryKey>& keys, const std::u16string& canonical) {
  for (std::size_t cut = canonical.find(u'\\'); cut != std::u16string::npos; cut = canonical.find(u'\\', cut + 1)) {
    RegistryKey& above = keys[FoldCase(canonical.substr(0, cut))];
    if (above.path.empty()) above.path = canonical.substr(0, cut);
  }
  RegistryKey& key = keys[FoldCase(canonical)];
  if (key.path.empty()) key.path = canonical;
  return key;
}

}  // namespace

const std::vector<RegistryRoot>& RegistryRoots() {
  static const std::vector<RegistryRoot> kRoots = {
      {HKEY_CLASSES_ROOT, u"HKEY_CLASSES_ROOT", u"HKCR"},
      {HKEY_CURRENT_USER, u"HKEY_CURRENT_USER", u"HKCU"},
      {HKEY_LOCAL_MACHINE, u"HKEY_LOCAL_MACHINE", u"HKLM"},
      {HKEY_USERS, u"HKEY_USERS", u"HKU"},
  };
  return kRoots;
}

std::map<std::u16string, RegistryKey> DefaultRegistryKeys() {
  std::map<std::u16string, RegistryKey> keys;
  for (const RegistryRoot& root : RegistryRoots()) CreateIn(keys, root.name);
  CreateIn(keys, u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
  CreateIn(keys, u"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print");
  CreateIn(keys, kSessionManagerKey);
  CreateIn(keys, u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");
  return keys;
}

std::u16string Registry::Canonical(const std::u16string& path) {
  const std::size_t cut = path.find(u'\\');
  const std::u16string root = path.substr(0, cut);
  for (const RegistryRoot& names : RegistryRoots()) {
    if (SameFolded(root, names.name) || SameFolded(root, names.shortName)) {
      std::u16string canonical = names.name;
      if (cut != std::u16string::npos) canonical += path.substr(cut);
      while (!canonical.empty() && canonical.back() == u'\\') canonical.pop_back();
      return canonical;
    }
  }
  return std::u16string();
}

const RegistryKey* Registry::FindKey(const std::u16string& path) const {
  auto it = keys.find(FoldCase(Canonical(path)));
  return it == keys.end() ? nullptr : &it->second;
}

RegistryKey* Registry::FindKey(const std::u16string& path) {
  return const_cast<RegistryKey*>(static_cast<const Registry&>(*this).FindKey(path));
}

bool Registry::HasSubKeys(const std::u16string& path) const {
  // Keys below it follow one another in the folded order, from the first
  // not below "path\".
  const std::u16string prefix = FoldCase(Canonical(path)) + u"\\";
  auto it = keys.lower_bound(prefix);
  return it != keys.end() && it->first.compare(0, prefix.size(), prefix) == 0;
}

RegistryKey& Registry::CreateKey(const std::u16string& path) { return CreateIn(keys, Canonical(path)); }

const RegistryValue* Registry::FindValue(const std::u16string& keyPath, const std::u16string& name) const {
  const RegistryKey* key = FindKey(keyPath);
  if (key == nullptr) return nullptr;
  auto it = key->values.find(FoldCase(name));
  return it == key->values.end() ? nullptr : &it->second;
}

void Registry::SetValue(const std::u16string& keyPath, const std::u16string& name, DWORD type, std::vector<BYTE> data) {
  CreateKey(keyPath).values[FoldCase(name)] = RegistryValue{name, type, std::move(data)};
}

void Registry::SetString(const std::u16string& keyPath, const std::u16string& name, const std::u16string& text) {
  const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
  SetValue(keyPath, name, REG_SZ, std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(char16_t)));
}

void Registry::SetDword(const std::u16string& keyPath, const std::u16string& name, DWORD value) {
  std::vector<BYTE> data(sizeof(value));
  std::memcpy(data.data(), &value, sizeof(value));
  SetValue(keyPath, name, REG_DWORD, std::move(data));
}

void Registry::SetMultiString(const std::u16string& keyPath, const std::u16string& name,
                              const std::vector<std::u16string>& strings) {
  SetValue(keyPath, name, REG_MULTI_SZ, MultiStringBytes(strings));
}

bool Registry::DeleteValue(const std::u16string& keyPath, const std::u16string& name) {
  RegistryKey* key = FindKey(keyPath);
  return key != nullptr && key->values.erase(FoldCase(name)) != 0;
}

std::vector<BYTE> MultiStringBytes(const std::vector<std::u16string>& strings) {
  std::u16string all;
  for (const auto& s : strings) {
    all += s;
    all.push_back(0);
  }
  all.push_back(0);
  const auto* bytes = reinterpret_cast<const BYTE*>(all.data());
  return std::vector<BYTE>(bytes, bytes + all.size() * sizeof(char16_t));
}

std::u16string StringOf(const std::vector<BYTE>& bytes) {
  std::u16string units(bytes.size() / 2, 0);
  if (!units.empty()) std::memcpy(units.data(), bytes.data(), units.size() * sizeof(char16_t));
  return units.substr(0, units.find(u'\0'));
}

std::vector<std::u16string> MultiStrings(const std::vector<BYTE>& bytes) {
  std::u16string units(bytes.size() / 2, 0);
  if (!units.empty()) std::memcpy(units.data(), bytes.data(), units.size() * sizeof(char16_t));
  if (!units.empty() && units.back() == 0) units.pop_back();  // the final zero
  std::vector<std::u16string> strings;
  std::size_t start = 0;
  while (start < units.size()) {
    std::size_t end = units.find(char16_t{0}, start);
    if (end == std::u16string::npos) end = units.size();
    strings.push_back(units.substr(start, end - start));
    start = end + 1;
  }
  return strings;
}

}  // namespace winsim
