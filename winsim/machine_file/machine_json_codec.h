// The two directions of the machine format in one description: each struct's
// fields are listed once (a Fields overload in machine_json*.cpp) and walked by a
// Saver, a Loader or a FieldNames visitor, so the names written and the names
// read cannot drift apart. Here: the visitors and the codecs of leaf types and
// containers. Loading stops at the first error (a LoadError, caught by
// LoadMachine), named by its path ("machine.files.files[0].data").
#pragma once
#include <nlohmann/json.hpp>

#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include <winsim/constant_names.h>
#include <winsim/machine.h>
#include <winsim/text_format.h>

#include "machine_json_names.h"

namespace winsim::machine_json {

using Json = nlohmann::ordered_json;

struct LoadError {
  std::string message;
};

[[noreturn]] inline void Fail(const std::string& path, const std::string& what) { throw LoadError{path + ": " + what}; }

// A value as an error line quotes it, cut short so a huge one stays one line.
inline std::string Shown(const Json& j) {
  std::string text = j.dump(-1, ' ', false, Json::error_handler_t::replace);
  return text.size() > 40 ? text.substr(0, 37) + "..." : text;
}

// The path of a member of an object that maps names to values.
inline std::string MemberPath(const std::string& path, const std::string& name) {
  return path + "[" + Quoted(name) + "]";
}

[[noreturn]] inline void Expected(const std::string& path, const std::string& what, const Json& found) {
  const char* kind = "a number";
  switch (found.type()) {
    case Json::value_t::null: kind = "null"; break;
    case Json::value_t::object: kind = "an object"; break;
    case Json::value_t::array: kind = "an array"; break;
    case Json::value_t::string: kind = "a string"; break;
    case Json::value_t::boolean: kind = "a boolean"; break;
    default: break;
  }
  Fail(path, "expected " + what + ", found " + kind);
}

// Const for the visitors that only read the machine.
template <typename V, typename T>
using Like = std::conditional_t<V::kReadsMachine, const T, T>;

class Saver {
 public:
  static constexpr bool kReadsMachine = true;
  // Defined at the end, where every codec is declared.
  template <typename T>
  void Req(const char* name, const T& value);
  template <typename T>
  void Opt(const char* name, const T& value);
  Json out = Json::object();
};

// Collects the names a struct has, so unknown fields are reported before
// anything is read.
class FieldNames {
 public:
  static constexpr bool kReadsMachine = true;
  template <typename T>
  void Req(const char* name, const T&) {
    names.insert(name);
  }
  template <typename T>
  void Opt(const char* name, const T&) {
    names.insert(name);
  }
  std::set<std::string> names;
};

class Loader {
 public:
  static constexpr bool kReadsMachine = false;
  Loader(const Json& j, std::string path) : j_(j), path_(std::move(path)) {}
  template <typename T>
  void Req(const char* name, T&& value) {
    Read(name, value, true);
  }
  template <typename T>
  void Opt(const char* name, T&& value) {
    Read(name, value, false);
  }

 private:
  template <typename T>
  void Read(const char* name, T& value, bool required);
  const Json& j_;
  std::string path_;
};

// --- Leaf types -----------------------------------------------------------

inline Json ToJson(const std::u16string& text) { return Narrow(text); }
inline void FromJson(const Json& j, const std::string& path, std::u16string& text) {
  if (!j.is_string()) Expected(path, "a string", j);
  text = Widen(j.get_ref<const std::string&>());
}

inline Json ToJson(bool value) { return value; }
inline void FromJson(const Json& j, const std::string& path, bool& value) {
  if (!j.is_boolean()) Expected(path, "a boolean", j);
  value = j.get<bool>();
}

template <typename T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>, int> = 0>
Json ToJson(T value) {
  return value;
}
template <typename T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>, int> = 0>
void FromJson(const Json& j, const std::string& path, T& value) {
  using Limits = std::numeric_limits<T>;
  if (!j.is_number()) Expected(path, "a number", j);
  bool fits = false;
  if (j.is_number_unsigned()) {
    fits = j.get<std::uint64_t>() <= static_cast<std::uint64_t>(Limits::max());
  } else if (j.is_number_integer()) {
    const std::int64_t n = j.get<std::int64_t>();
    fits = n >= 0 || (Limits::is_signed && n >= static_cast<std::int64_t>(Limits::min()));
  }
  if (!fits) {
    Fail(path, "expected a whole number from " + std::to_string(Limits::min()) + " to " +
                   std::to_string(Limits::max()) + ", found " + Shown(j));
  }
  value = j.is_number_unsigned() ? static_cast<T>(j.get<std::uint64_t>()) : static_cast<T>(j.get<std::int64_t>());
}

inline Json ToJson(HWND hwnd) { return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(hwnd)); }
inline void FromJson(const Json& j, const std::string& path, HWND& hwnd) {
  std::uintptr_t value = 0;
  FromJson(j, path, value);
  hwnd = reinterpret_cast<HWND>(value);
}

// "a.b.c.d", as Explorer shows a product version.
inline Json ToJson(const FileVersion& v) { return VersionText(v); }
inline void FromJson(const Json& j, const std::string& path, FileVersion& v) {
  if (!j.is_string()) Expected(path, "a string", j);
  const std::string& text = j.get_ref<const std::string&>();
  WORD* parts[] = {&v.major, &v.minor, &v.build, &v.revision};
  std::size_t at = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    std::size_t end = at;
    while (end < text.size() && end - at < 6 && text[end] >= '0' && text[end] <= '9') ++end;
    const bool last = i == 3;
    if (end == at || end - at > 5 || std::stoul(text.substr(at, end - at)) > 0xFFFF ||
        (last ? end != text.size() : end >= text.size() || text[end] != '.')) {
      Fail(path, "expected a version \"a.b.c.d\", found " + Shown(j));
    }
    *parts[i] = static_cast<WORD>(std::stoul(text.substr(at, end - at)));
    at = end + 1;
  }
}

template <typename E, std::enable_if_t<std::is_enum_v<E>, int> = 0>
Json ToJson(E value) {
  const char* name = NameOf(value);
  if (name != nullptr) return name;
  return static_cast<int>(value);
}
template <typename E, std::enable_if_t<std::is_enum_v<E>, int> = 0>
void FromJson(const Json& j, const std::string& path, E& value) {
  if (!j.is_string()) Expected(path, "a string", j);
  std::string names;
  // The enumerators are numbered from 0 without gaps.
  for (int i = 0; NameOf(static_cast<E>(i)) != nullptr; ++i) {
    if (j.get_ref<const std::string&>() == NameOf(static_cast<E>(i))) {
      value = static_cast<E>(i);
      return;
    }
    names += std::string(i == 0 ? "" : ", ") + NameOf(static_cast<E>(i));
  }
  Fail(path, Shown(j) + " is not a " + TypeName(value) + " (" + names + ")");
}

// A Windows constant written by its name where it has one, read from either.
template <typename D>
struct Named {
  D& value;
  const char* what;  // "a registry type"
  const NamedConstant* table;
  std::size_t size;
};
template <typename D, std::size_t N>
Named<D> AsNamed(D& value, const char* what, const NamedConstant (&table)[N]) {
  return Named<D>{value, what, table, N};
}
template <typename D>
Json ToJson(const Named<D>& n) {
  for (std::size_t i = 0; i < n.size; ++i) {
    if (n.table[i].value == n.value) return n.table[i].name;
  }
  return n.value;
}
inline void FromJson(const Json& j, const std::string& path, Named<DWORD> n) {
  if (!j.is_string()) return FromJson(j, path, n.value);
  std::string names;
  for (std::size_t i = 0; i < n.size; ++i) {
    if (j.get_ref<const std::string&>() == n.table[i].name) {
      n.value = n.table[i].value;
      return;
    }
    names += std::string(i == 0 ? "" : ", ") + n.table[i].name;
  }
  Fail(path, Shown(j) + " is not " + n.what + " (" + names + ")");
}

// Bytes as hex a person can edit: "4d5a9000", with runs written "00*4096".
template <typename B>
struct HexBytes {
  B& bytes;
};
template <typename B>
HexBytes<B> Hex(B& bytes) {
  return HexBytes<B>{bytes};
}
std::string HexText(const std::vector<std::uint8_t>& bytes);
// False when `text` is not hex bytes, or more than the format takes.
bool ParseHex(const std::string& text, std::vector<std::uint8_t>& bytes);
template <typename B>
Json ToJson(const HexBytes<B>& hex) {
  return HexText(hex.bytes);
}
inline void FromJson(const Json& j, const std::string& path, HexBytes<std::vector<std::uint8_t>> hex) {
  if (!j.is_string()) Expected(path, "a string", j);
  if (!ParseHex(j.get_ref<const std::string&>(), hex.bytes)) {
    Fail(path, "expected hex bytes (\"4d5a\", \"00*16\"), found " + Shown(j));
  }
}

// --- Containers -------------------------------------------------------------

template <typename T>
Json ToJson(const std::vector<T>& items);
template <typename T>
void FromJson(const Json& j, const std::string& path, std::vector<T>& items);
template <typename T>
Json ToJson(const Records<T>& items);
template <typename T>
void FromJson(const Json& j, const std::string& path, Records<T>& items);
template <typename T>
Json ToJson(const std::optional<T>& item);
template <typename T>
void FromJson(const Json& j, const std::string& path, std::optional<T>& item);
template <typename K, typename V>
Json ToJson(const std::map<K, V>& items);
template <typename K, typename V>
void FromJson(const Json& j, const std::string& path, std::map<K, V>& items);

// A struct: the fields its Fields overload lists; unknown ones are errors.
template <typename T>
Json SaveFields(const T& value) {
  Saver saver;
  Fields(saver, value);
  return saver.out;
}
template <typename T>
void LoadFields(const Json& j, const std::string& path, T& value) {
  if (!j.is_object()) Expected(path, "an object", j);
  FieldNames known;
  Fields(known, std::as_const(value));
  for (const auto& field : j.items()) {
    if (known.names.count(field.key()) == 0) Fail(path, "unknown field " + Quoted(field.key()));
  }
  Loader loader(j, path);
  Fields(loader, value);
}
template <typename T>
auto ToJson(const T& value) -> decltype(Fields(std::declval<Saver&>(), value), Json()) {
  return SaveFields(value);
}
template <typename T>
auto FromJson(const Json& j, const std::string& path, T& value) -> decltype(Fields(std::declval<Loader&>(), value)) {
  LoadFields(j, path, value);
}

// The sections, each saved and loaded in the file of its subject
// (machine_json_<subject>.cpp).
Json ToJson(const FileSystem& files);
void FromJson(const Json& j, const std::string& path, FileSystem& files);
Json ToJson(const Registry& registry);
void FromJson(const Json& j, const std::string& path, Registry& registry);
Json ToJson(const RegistryValue& value);  // printer data holds them too
void FromJson(const Json& j, const std::string& path, RegistryValue& value);
Json ToJson(const Services& services);
void FromJson(const Json& j, const std::string& path, Services& services);
Json ToJson(const Spooler& spooler);
void FromJson(const Json& j, const std::string& path, Spooler& spooler);
Json ToJson(const Desktop& desktop);
void FromJson(const Json& j, const std::string& path, Desktop& desktop);

// A vector, or Records in their order: an array of its items.
template <typename List>
Json ArrayToJson(const List& items) {
  Json out = Json::array();
  for (const auto& item : items) out.push_back(ToJson(item));
  return out;
}
template <typename List>
void ArrayFromJson(const Json& j, const std::string& path, List& items) {
  if (!j.is_array()) Expected(path, "an array", j);
  items.clear();
  for (std::size_t i = 0; i < j.size(); ++i) {
    typename List::value_type item{};
    FromJson(j[i], path + "[" + std::to_string(i) + "]", item);
    items.push_back(std::move(item));
  }
}
template <typename T>
Json ToJson(const std::vector<T>& items) {
  return ArrayToJson(items);
}
template <typename T>
void FromJson(const Json& j, const std::string& path, std::vector<T>& items) {
  ArrayFromJson(j, path, items);
}
template <typename T>
Json ToJson(const Records<T>& items) {
  return ArrayToJson(items);
}
template <typename T>
void FromJson(const Json& j, const std::string& path, Records<T>& items) {
  ArrayFromJson(j, path, items);
}

template <typename T>
Json ToJson(const std::optional<T>& item) {
  return item ? ToJson(*item) : Json();
}
template <typename T>
void FromJson(const Json& j, const std::string& path, std::optional<T>& item) {
  if (j.is_null()) return item.reset();
  T value{};
  FromJson(j, path, value);
  item = std::move(value);
}

// Map keys as object member names.
inline std::string KeyText(const std::string& key) { return key; }
inline std::string KeyText(const std::u16string& key) { return Narrow(key); }
inline std::string KeyText(int key) { return std::to_string(key); }
inline void KeyFrom(const std::string& text, const std::string&, std::string& key) { key = text; }
inline void KeyFrom(const std::string& text, const std::string&, std::u16string& key) { key = Widen(text); }
inline void KeyFrom(const std::string& text, const std::string& path, int& key) {
  const Json number = Json::parse(text, nullptr, false);
  if (!number.is_number_integer()) Fail(path, "expected a whole number as the key, found " + Quoted(text));
  FromJson(number, path, key);
}

template <typename K, typename V>
Json ToJson(const std::map<K, V>& items) {
  Json out = Json::object();
  for (const auto& [key, value] : items) out[KeyText(key)] = ToJson(value);
  return out;
}
template <typename K, typename V>
void FromJson(const Json& j, const std::string& path, std::map<K, V>& items) {
  if (!j.is_object()) Expected(path, "an object", j);
  items.clear();
  for (const auto& member : j.items()) {
    const std::string at = MemberPath(path, member.key());
    K key{};
    KeyFrom(member.key(), at, key);
    V value{};
    FromJson(member.value(), at, value);
    items[key] = std::move(value);
  }
}

// A map written as a list of its records, each record holding its key
// (`keyOf` derives it: a folded path, an id). Element E is what is written:
// the record itself, or a pair of key and record where the record lacks it.
template <typename M, typename KeyOf>
struct RecordList {
  M& map;
  KeyOf keyOf;
};
template <typename M, typename KeyOf>
RecordList<M, KeyOf> AsList(M& map, KeyOf keyOf) {
  return RecordList<M, KeyOf>{map, keyOf};
}
template <typename M, typename KeyOf>
Json ToJson(const RecordList<M, KeyOf>& list) {
  Json out = Json::array();
  for (const auto& entry : list.map) out.push_back(ToJson(list.keyOf.Written(entry)));
  return out;
}
template <typename M, typename KeyOf>
void FromJson(const Json& j, const std::string& path, RecordList<M, KeyOf> list) {
  if (!j.is_array()) Expected(path, "an array", j);
  list.map.clear();
  std::map<typename M::key_type, std::size_t> seen;
  for (std::size_t i = 0; i < j.size(); ++i) {
    const std::string at = path + "[" + std::to_string(i) + "]";
    typename KeyOf::Element element{};
    FromJson(j[i], at, element);
    const auto key = list.keyOf.Key(element);
    if (!seen.emplace(key, i).second) Fail(at, "the same entry as " + path + "[" + std::to_string(seen[key]) + "]");
    list.map.emplace(key, list.keyOf.Record(std::move(element)));
  }
}

// Records that hold their key; the map's key is `derive(record)`.
template <typename V, typename Derive>
struct KeyInside {
  using Element = V;
  Derive derive;
  template <typename Entry>
  const V& Written(const Entry& entry) const {
    return entry.second;
  }
  auto Key(const V& record) const { return derive(record); }
  V Record(V&& record) const { return std::move(record); }
};
template <typename V, typename Derive>
KeyInside<V, Derive> KeyedBy(Derive derive) {
  return KeyInside<V, Derive>{derive};
}
// Records whose key is the map's alone: written as a pair (see the Fields
// overloads of std::pair).
template <typename K, typename V>
struct KeyBeside {
  using Element = std::pair<K, V>;
  template <typename Entry>
  std::pair<K, V> Written(const Entry& entry) const {
    return {entry.first, entry.second};
  }
  K Key(const std::pair<K, V>& element) const { return element.first; }
  V Record(std::pair<K, V>&& element) const { return std::move(element.second); }
};

// Records kept under a folded path or name.
inline const auto FoldedPath = [](const auto& record) { return FoldCase(record.path); };
inline const auto FoldedName = [](const auto& record) { return FoldCase(record.name); };

// Counts an aggregate's fields (the largest brace initializer it takes), so
// a field added to a saved struct breaks the build here. sizeof alone would
// miss a bool that lands in padding.
struct AnyField {
  template <typename T>
  operator T() const;
};
// Leaving fields out is the point of the probe.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
template <typename T, typename... A>
constexpr auto Initializes(int) -> decltype(T{std::declval<A>()...}, true) {
  return true;
}
#pragma GCC diagnostic pop
template <typename T, typename... A>
constexpr bool Initializes(...) {
  return false;
}
template <typename T, typename... A>
constexpr std::size_t FieldCount() {
  if constexpr (Initializes<T, A..., AnyField>(0)) {
    return FieldCount<T, A..., AnyField>();
  } else {
    return sizeof...(A);
  }
}

// Each saved struct's field count, beside its fields: a field added to the
// struct stops the build there.
#define SAVED_FIELDS(T, n)                                                                          \
  static_assert(FieldCount<T>() == (n), #T " gained or lost a field: save and load it in " __FILE__ \
                                           " and describe it in docs/machine-format.md")

template <typename T>
void Saver::Req(const char* name, const T& value) {
  out[name] = ToJson(value);
}
template <typename T>
void Saver::Opt(const char* name, const T& value) {
  out[name] = ToJson(value);
}
template <typename T>
void Loader::Read(const char* name, T& value, bool required) {
  const auto it = j_.find(name);
  if (it == j_.end()) {
    if (required) Fail(path_, std::string("missing field \"") + name + "\"");
    return;
  }
  FromJson(*it, path_ + "." + name, value);
}

}  // namespace winsim::machine_json
