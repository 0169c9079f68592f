// The registry in a machine file: keys and typed values, whose data reads as
// its type does (text, a list of texts, a number, hex).
#include <algorithm>

#include "machine_json_codec.h"

namespace winsim::machine_json {

SAVED_FIELDS(RegistryValue, 3);
SAVED_FIELDS(RegistryKey, 3);
SAVED_FIELDS(Registry, 1);

// Registry value data as the type reads naturally: text, a list of texts, a
// number, or hex; {"hex": ...} for bytes the natural form cannot carry.
template <typename D, typename B>
struct TypedData {
  D& type;
  B& bytes;
};
template <typename D, typename B>
TypedData<D, B> Typed(D& type, B& bytes) {
  return TypedData<D, B>{type, bytes};
}
struct HexObject {
  std::vector<std::uint8_t> bytes;
};
template <typename V>
void Fields(V& v, Like<V, HexObject>& h) {
  v.Req("hex", Hex(h.bytes));
}

bool IsText(const std::u16string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == 0 || (c >= 0xDC00 && c < 0xE000)) return false;
    if (c >= 0xD800 && c < 0xDC00 && (++i == text.size() || text[i] < 0xDC00 || text[i] >= 0xE000)) return false;
  }
  return true;
}
std::u16string Utf16Of(const std::vector<BYTE>& bytes) {
  std::u16string text;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
    text.push_back(static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8));
  return text;
}
std::vector<BYTE> BytesOf(const std::u16string& text) {
  std::vector<BYTE> bytes;
  for (char16_t c : text) {
    bytes.push_back(static_cast<BYTE>(c & 0xFF));
    bytes.push_back(static_cast<BYTE>(c >> 8));
  }
  return bytes;
}
std::uint64_t LittleEndian(const std::vector<BYTE>& bytes) {
  std::uint64_t n = 0;
  for (std::size_t i = bytes.size(); i-- > 0;) n = n << 8 | bytes[i];
  return n;
}
std::vector<BYTE> LittleEndian(std::uint64_t n, std::size_t size) {
  std::vector<BYTE> bytes;
  for (std::size_t i = 0; i < size; ++i, n >>= 8) bytes.push_back(static_cast<BYTE>(n & 0xFF));
  return bytes;
}

template <typename D, typename B>
Json ToJson(const TypedData<D, B>& value) {
  const std::vector<BYTE>& bytes = value.bytes;
  switch (value.type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
      // Only text with exactly its terminator reads back to the same bytes.
      const std::u16string text = Utf16Of(bytes);
      if (bytes.size() % 2 == 0 && !text.empty() && text.back() == 0 && IsText(text.substr(0, text.size() - 1))) {
        return ToJson(text.substr(0, text.size() - 1));
      }
      break;
    }
    case REG_MULTI_SZ: {
      const std::vector<std::u16string> strings = MultiStrings(bytes);
      if (MultiStringBytes(strings) == bytes && std::all_of(strings.begin(), strings.end(), IsText)) {
        return ToJson(strings);
      }
      break;
    }
    case REG_DWORD:
      if (bytes.size() == 4) return LittleEndian(bytes);
      break;
    case REG_QWORD:
      if (bytes.size() == 8) return LittleEndian(bytes);
      break;
    default: return HexText(bytes);
  }
  return ToJson(HexObject{bytes});
}
void FromJson(const Json& j, const std::string& path, TypedData<DWORD, std::vector<BYTE>> value) {
  if (j.is_object()) {
    HexObject hex;
    FromJson(j, path, hex);
    value.bytes = hex.bytes;
    return;
  }
  switch (value.type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
      std::u16string text;
      FromJson(j, path, text);
      value.bytes = BytesOf(text + u'\0');
      return;
    }
    case REG_MULTI_SZ: {
      std::vector<std::u16string> strings;
      FromJson(j, path, strings);
      value.bytes = MultiStringBytes(strings);
      return;
    }
    case REG_DWORD: {
      DWORD n = 0;
      FromJson(j, path, n);
      value.bytes = LittleEndian(n, 4);
      return;
    }
    case REG_QWORD: {
      std::uint64_t n = 0;
      FromJson(j, path, n);
      value.bytes = LittleEndian(n, 8);
      return;
    }
    default: FromJson(j, path, Hex(value.bytes));
  }
}

template <typename V>
void Fields(V& v, Like<V, RegistryValue>& r) {
  v.Req("name", r.name);
  v.Req("type", AsNamed(r.type, "a registry type", kRegistryTypes));
  v.Req("data", Typed(r.type, r.data));
}
// A key's path as the registry keeps it: from the root's full name, so that
// "HKLM\\..." in a file names the same key as the API's lookups.
template <typename S>
struct KeyPath {
  S& path;
};
template <typename S>
KeyPath<S> AsKeyPath(S& path) {
  return KeyPath<S>{path};
}
Json ToJson(const KeyPath<const std::u16string>& key) { return ToJson(key.path); }
void FromJson(const Json& j, const std::string& path, KeyPath<std::u16string> key) {
  FromJson(j, path, key.path);
  const std::u16string canonical = Registry::Canonical(key.path);
  if (canonical.empty()) {
    Fail(path, Shown(j) +
                   " does not begin with a root key (HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, "
                   "HKEY_LOCAL_MACHINE, HKEY_USERS, or HKCR, HKCU, HKLM, HKU)");
  }
  key.path = canonical;
}

template <typename V>
void Fields(V& v, Like<V, RegistryKey>& k) {
  v.Req("path", AsKeyPath(k.path));
  v.Opt("denied", k.denied);
  v.Opt("values", AsList(k.values, KeyedBy<RegistryValue>(FoldedName)));
}
template <typename V>
void Fields(V& v, Like<V, Registry>& r) {
  v.Opt("keys", AsList(r.keys, KeyedBy<RegistryKey>(FoldedPath)));
}

Json ToJson(const RegistryValue& value) { return SaveFields(value); }
void FromJson(const Json& j, const std::string& path, RegistryValue& value) { LoadFields(j, path, value); }
Json ToJson(const Registry& registry) { return SaveFields(registry); }
void FromJson(const Json& j, const std::string& path, Registry& registry) {
  LoadFields(j, path, registry);
  // The keys above a listed key exist, as CreateKey leaves them.
  std::vector<std::u16string> paths;
  for (const auto& entry : registry.keys) paths.push_back(entry.second.path);
  for (const std::u16string& key : paths) registry.CreateKey(key);
}

}  // namespace winsim::machine_json
