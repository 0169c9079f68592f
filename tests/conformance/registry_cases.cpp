// The registry, under a scratch key of the current user that each case
// makes and removes: keys made and opened, the two-call value fetch, rights
// and deletions. The calls return their error; the last error stays as it was.
#include <string>

#include "conformance.h"

namespace {

const WCHAR kScratch[] = TEXT("Software\\RavelquillConformance");
// Every key a case may leave below the scratch key, deepest first.
const WCHAR* const kScratchKeys[] = {TEXT("Software\\RavelquillConformance\\Sub\\Deeper"),
                                     TEXT("Software\\RavelquillConformance\\Sub"), kScratch};

// The scratch key, open with every right, from a clean start; removed with
// everything below it at the end.
class Scratch {
 public:
  Scratch() {
    Remove();
    const LONG status =
        RegCreateKeyExW(HKEY_CURRENT_USER, kScratch, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr);
    ok(status == ERROR_SUCCESS, "creating the scratch key failed with %ld", status);
  }
  ~Scratch() {
    RegCloseKey(key_);
    Remove();
    HKEY left = nullptr;
    ok(RegOpenKeyExW(HKEY_CURRENT_USER, kScratch, 0, KEY_READ, &left) == ERROR_FILE_NOT_FOUND,
       "the scratch key was left");
  }
  HKEY key() const { return key_; }

 private:
  static void Remove() {
    for (const WCHAR* path : kScratchKeys) RegDeleteKeyW(HKEY_CURRENT_USER, path);
  }
  HKEY key_ = nullptr;
};

HKEY OpenScratch(REGSAM access) {
  HKEY key = nullptr;
  const LONG status = RegOpenKeyExW(HKEY_CURRENT_USER, kScratch, 0, access, &key);
  ok(status == ERROR_SUCCESS, "opening the scratch key failed with %ld", status);
  return key;
}

void SetString(HKEY key, const WCHAR* name, const WCHAR* text) {
  const DWORD bytes = static_cast<DWORD>((conformance::TextLength(text) + 1) * sizeof(WCHAR));
  const LONG status = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), bytes);
  ok(status == ERROR_SUCCESS, "setting %s failed with %ld", conformance::Narrow(name).c_str(), status);
}

}  // namespace

// RegCreateKeyExW makes the keys on the way and says so; asked again, in
// another case, it opens the same key.
CONFORMANCE_CASE(create_key_makes_missing_keys_or_opens_existing_one) {
  Scratch scratch;
  const WCHAR* spellings[] = {TEXT("Software\\RavelquillConformance\\Sub\\Deeper"),
                              TEXT("SOFTWARE\\ravelquillconformance\\SUB\\deeper")};
  const DWORD dispositions[] = {REG_CREATED_NEW_KEY, REG_OPENED_EXISTING_KEY};
  for (int i = 0; i < 2; ++i) {
    HKEY key;
    DWORD disposition;
    conformance::Poison(key);
    conformance::Poison(disposition);
    conformance::PoisonError();
    const LONG status =
        RegCreateKeyExW(HKEY_CURRENT_USER, spellings[i], 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, &disposition);
    ok(status == ERROR_SUCCESS, "%s: failed with %ld", conformance::Narrow(spellings[i]).c_str(), status);
    ok(disposition == dispositions[i], "%s: disposition %lu", conformance::Narrow(spellings[i]).c_str(), disposition);
    ok(GetLastError() == conformance::kPoison, "the last error became %lu", GetLastError());
    if (status == ERROR_SUCCESS) RegCloseKey(key);
  }
  HKEY between = nullptr;
  ok(RegOpenKeyExW(HKEY_CURRENT_USER, TEXT("Software\\RavelquillConformance\\Sub"), 0, KEY_READ, &between) ==
         ERROR_SUCCESS,
     "the key on the way was not made");
  RegCloseKey(between);
}

// A missing key gives ERROR_FILE_NOT_FOUND and a null handle.
CONFORMANCE_CASE(open_missing_key) {
  Scratch scratch;
  HKEY key;
  conformance::Poison(key);
  conformance::PoisonError();
  const LONG status = RegOpenKeyExW(scratch.key(), TEXT("Missing"), 0, KEY_READ, &key);
  ok(status == ERROR_FILE_NOT_FOUND, "status %ld", status);
  ok(key == nullptr, "the handle is %p", static_cast<void*>(key));
  ok(GetLastError() == conformance::kPoison, "the last error became %lu", GetLastError());
}

// The two-call fetch: with no buffer the size; a short buffer gives
// ERROR_MORE_DATA and the size needed; then the data as stored.
CONFORMANCE_CASE(query_value_size_then_data) {
  Scratch scratch;
  const DWORD number = 0x12345678;
  const WCHAR text[] = TEXT("C:\\Program Files");
  const WCHAR list[] = TEXT("\\??\\C:\\a\0\0");
  RegSetValueExW(scratch.key(), TEXT("Number"), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof(number));
  RegSetValueExW(scratch.key(), TEXT("Text"), 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof(text));
  RegSetValueExW(scratch.key(), TEXT("List"), 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(list), sizeof(list));
  const struct {
    const WCHAR* name;
    DWORD type;
    const void* data;
    DWORD size;
  } values[] = {
      {TEXT("number"), REG_DWORD, &number, sizeof(number)},
      {TEXT("TEXT"), REG_SZ, text, sizeof(text)},
      {TEXT("List"), REG_MULTI_SZ, list, sizeof(list)},
  };
  HKEY key = OpenScratch(KEY_READ);
  for (const auto& v : values) {
    const std::string name = conformance::Narrow(v.name);
    DWORD type, size;
    conformance::Poison(type);
    conformance::Poison(size);
    LONG status = RegQueryValueExW(key, v.name, nullptr, &type, nullptr, &size);
    ok(status == ERROR_SUCCESS && type == v.type && size == v.size, "%s: status %ld, type %lu, size %lu", name.c_str(),
       status, type, size);
    BYTE data[64];
    conformance::Poison(data);
    size = v.size - 1;
    status = RegQueryValueExW(key, v.name, nullptr, nullptr, data, &size);
    ok(status == ERROR_MORE_DATA && size == v.size, "%s: short buffer: status %ld, size %lu", name.c_str(), status,
       size);
    size = sizeof(data);
    conformance::PoisonError();
    status = RegQueryValueExW(key, v.name, nullptr, nullptr, data, &size);
    ok(status == ERROR_SUCCESS && size == v.size && std::memcmp(data, v.data, v.size) == 0, "%s: status %ld, size %lu",
       name.c_str(), status, size);
    ok(GetLastError() == conformance::kPoison, "the last error became %lu", GetLastError());
  }
  DWORD size;
  conformance::Poison(size);
  ok(RegQueryValueExW(key, TEXT("Missing"), nullptr, nullptr, nullptr, &size) == ERROR_FILE_NOT_FOUND,
     "a missing value was found");
  RegCloseKey(key);
}

// A handle does what it was opened for: no writing through KEY_READ, no
// reading through KEY_WRITE.
CONFORMANCE_CASE(key_rights_are_checked_on_each_call) {
  Scratch scratch;
  SetString(scratch.key(), TEXT("Kept"), TEXT("x"));
  HKEY reader = OpenScratch(KEY_READ);
  const DWORD one = 1;
  ok(RegSetValueExW(reader, TEXT("New"), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4) == ERROR_ACCESS_DENIED,
     "set a value through a read-only handle");
  ok(RegDeleteValueW(reader, TEXT("Kept")) == ERROR_ACCESS_DENIED, "deleted a value through a read-only handle");
  RegCloseKey(reader);
  HKEY writer = OpenScratch(KEY_WRITE);
  DWORD size = 0;
  ok(RegQueryValueExW(writer, TEXT("Kept"), nullptr, nullptr, nullptr, &size) == ERROR_ACCESS_DENIED,
     "read a value through a write-only handle");
  RegCloseKey(writer);
}

// A value deleted is gone; deleting it again gives ERROR_FILE_NOT_FOUND.
CONFORMANCE_CASE(delete_value_then_again) {
  Scratch scratch;
  SetString(scratch.key(), TEXT("Tray"), TEXT("C:\\tray.exe"));
  ok(RegDeleteValueW(scratch.key(), TEXT("TRAY")) == ERROR_SUCCESS, "the delete failed");
  DWORD size = 0;
  ok(RegQueryValueExW(scratch.key(), TEXT("Tray"), nullptr, nullptr, nullptr, &size) == ERROR_FILE_NOT_FOUND,
     "the value is still there");
  ok(RegDeleteValueW(scratch.key(), TEXT("Tray")) == ERROR_FILE_NOT_FOUND, "a second delete found the value");
}

// A closed key handle is invalid from then on.
CONFORMANCE_CASE(close_key_twice) {
  Scratch scratch;
  HKEY key = OpenScratch(KEY_READ);
  ok(RegCloseKey(key) == ERROR_SUCCESS, "the first close failed");
  ok(RegCloseKey(key) == ERROR_INVALID_HANDLE, "the second close did not give ERROR_INVALID_HANDLE");
  DWORD size = 0;
  ok(RegQueryValueExW(key, TEXT("x"), nullptr, nullptr, nullptr, &size) == ERROR_INVALID_HANDLE,
     "a closed handle was used");
}

// RegDeleteKeyW takes a key without sub-keys only.
CONFORMANCE_CASE(delete_key_only_without_sub_keys) {
  Scratch scratch;
  HKEY deeper = nullptr;
  RegCreateKeyExW(scratch.key(), TEXT("Sub\\Deeper"), 0, nullptr, 0, KEY_READ, nullptr, &deeper, nullptr);
  RegCloseKey(deeper);
  const struct {
    const WCHAR* name;
    LONG status;
  } steps[] = {
      {TEXT("Sub"), ERROR_ACCESS_DENIED},
      {TEXT("Sub\\Deeper"), ERROR_SUCCESS},
      {TEXT("Sub"), ERROR_SUCCESS},
      {TEXT("Sub"), ERROR_FILE_NOT_FOUND},
  };
  for (const auto& s : steps) {
    const LONG status = RegDeleteKeyW(scratch.key(), s.name);
    ok(status == s.status, "deleting %s: %ld, expected %ld", conformance::Narrow(s.name).c_str(), status, s.status);
  }
}
