// The registry, under a scratch key of the current user that each case
// makes and removes: keys made and opened, the two-call value fetch, rights
// and deletions. The calls return their error; the last error stays as it was.
#include <string>

#include "conformance.h"

using namespace conformance;

namespace {

const WCHAR kScratch[] = TEXT("Software\\RavelquillConformance");

template <typename Call>
void Status(int line, const char* text, LONG expected, Call call) {
  PoisonError();
  const LONG status = call();
  if (status != expected || GetLastError() != kPoison) {
    Failure(__FILE__, line, "%s gave %ld, expected %ld; last error %lu", text, status, expected, GetLastError());
  }
}
// The call gives `status` and leaves the last error as it was.
#define expect_status(call, status) Status(__LINE__, #call, (status), [&] { return (call); })

// The scratch key, open with every right, from a clean start; removed with
// everything below it at the end.
struct Scratch {
  HKEY key = nullptr;
  Scratch() {
    Remove();
    expect_status(RegCreateKeyExW(HKEY_CURRENT_USER, kScratch, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
  }
  ~Scratch() {
    RegCloseKey(key);
    Remove();
    HKEY left = nullptr;
    expect_status(RegOpenKeyExW(HKEY_CURRENT_USER, kScratch, 0, KEY_READ, &left), ERROR_FILE_NOT_FOUND);
  }
  static void Remove() {
    for (const WCHAR* below : {TEXT("\\Sub\\Deeper"), TEXT("\\Sub"), TEXT("")}) {
      RegDeleteKeyW(HKEY_CURRENT_USER, (std::basic_string<WCHAR>(kScratch) + below).c_str());
    }
  }
  HKEY Open(REGSAM access) const {
    HKEY opened = nullptr;
    expect_status(RegOpenKeyExW(HKEY_CURRENT_USER, kScratch, 0, access, &opened), ERROR_SUCCESS);
    return opened;
  }
};

}  // namespace

// RegCreateKeyExW makes the keys on the way and says so; asked again, in
// another case, it opens the same key. A missing key is not opened.
CONFORMANCE_CASE(create_key_makes_missing_keys_or_opens_existing_one) {
  Scratch scratch;
  HKEY key = reinterpret_cast<HKEY>(kPoison);
  expect_status(RegOpenKeyExW(scratch.key, TEXT("Sub"), 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  ok(key == nullptr, "the handle is %p", static_cast<void*>(key));
  const struct {
    const WCHAR* spelling;
    DWORD disposition;
  } cases[] = {{TEXT("Software\\RavelquillConformance\\Sub\\Deeper"), REG_CREATED_NEW_KEY},
               {TEXT("SOFTWARE\\ravelquillconformance\\SUB\\deeper"), REG_OPENED_EXISTING_KEY}};
  for (const auto& c : cases) {
    const Row row("%s", Narrow(c.spelling).c_str());
    DWORD disposition = kPoison;
    expect_status(
        RegCreateKeyExW(HKEY_CURRENT_USER, c.spelling, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, &disposition),
        ERROR_SUCCESS);
    ok(disposition == c.disposition, "disposition %lu", disposition);
    RegCloseKey(key);
  }
  expect_status(RegOpenKeyExW(scratch.key, TEXT("Sub"), 0, KEY_READ, &key), ERROR_SUCCESS);  // made on the way
  RegCloseKey(key);
}

// The two-call fetch: with no buffer the size; a short buffer gives
// ERROR_MORE_DATA and the size needed; then the data as stored.
CONFORMANCE_CASE(query_value_size_then_data) {
  Scratch scratch;
  const DWORD number = 0x12345678;
  const WCHAR text[] = TEXT("C:\\Program Files");
  const WCHAR list[] = TEXT("\\??\\C:\\a\0\0");
  const struct {
    const WCHAR* name;  // as set, then as asked for
    const WCHAR* asked;
    DWORD type;
    const void* data;
    DWORD size;
  } values[] = {
      {TEXT("Number"), TEXT("number"), REG_DWORD, &number, sizeof(number)},
      {TEXT("Text"), TEXT("TEXT"), REG_SZ, text, sizeof(text)},
      {TEXT("List"), TEXT("List"), REG_MULTI_SZ, list, sizeof(list)},
  };
  for (const auto& v : values) {
    expect_status(RegSetValueExW(scratch.key, v.name, 0, v.type, static_cast<const BYTE*>(v.data), v.size),
                  ERROR_SUCCESS);
  }
  HKEY key = scratch.Open(KEY_READ);
  for (const auto& v : values) {
    const Row row("%s", Narrow(v.asked).c_str());
    DWORD type = kPoison, size = kPoison;
    expect_status(RegQueryValueExW(key, v.asked, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    ok(type == v.type && size == v.size, "type %lu, size %lu", type, size);
    BYTE data[64];
    Poison(data);
    size = v.size - 1;
    expect_status(RegQueryValueExW(key, v.asked, nullptr, nullptr, data, &size), ERROR_MORE_DATA);
    ok(size == v.size, "a short buffer: size %lu", size);
    size = sizeof(data);
    expect_status(RegQueryValueExW(key, v.asked, nullptr, nullptr, data, &size), ERROR_SUCCESS);
    ok(size == v.size && std::memcmp(data, v.data, v.size) == 0, "size %lu or data", size);
  }
  DWORD size = kPoison;
  expect_status(RegQueryValueExW(key, TEXT("Missing"), nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
}

// A handle does what it was opened for: no writing through KEY_READ, no
// reading through KEY_WRITE, nothing once closed. A value deleted is gone,
// and a second delete finds nothing; RegDeleteKeyW takes a key without
// sub-keys only.
CONFORMANCE_CASE(key_rights_and_deletions) {
  Scratch scratch;
  const DWORD one = 1;
  DWORD size = 0;
  expect_status(RegSetValueExW(scratch.key, TEXT("Kept"), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4),
                ERROR_SUCCESS);
  HKEY key = scratch.Open(KEY_READ);
  expect_status(RegSetValueExW(key, TEXT("New"), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4),
                ERROR_ACCESS_DENIED);
  expect_status(RegDeleteValueW(key, TEXT("Kept")), ERROR_ACCESS_DENIED);
  RegCloseKey(key);
  key = scratch.Open(KEY_WRITE);
  expect_status(RegQueryValueExW(key, TEXT("Kept"), nullptr, nullptr, nullptr, &size), ERROR_ACCESS_DENIED);
  RegCloseKey(key);
  expect_status(RegDeleteValueW(scratch.key, TEXT("KEPT")), ERROR_SUCCESS);
  expect_status(RegQueryValueExW(scratch.key, TEXT("Kept"), nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  expect_status(RegDeleteValueW(scratch.key, TEXT("Kept")), ERROR_FILE_NOT_FOUND);
  key = scratch.Open(KEY_READ);
  expect_status(RegCloseKey(key), ERROR_SUCCESS);
  expect_status(RegCloseKey(key), ERROR_INVALID_HANDLE);
  expect_status(RegQueryValueExW(key, TEXT("x"), nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);

  expect_status(RegCreateKeyExW(scratch.key, TEXT("Sub\\Deeper"), 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr),
                ERROR_SUCCESS);
  RegCloseKey(key);
  const struct {
    const WCHAR* sub;
    LONG status;
  } deletes[] = {{TEXT("Sub"), ERROR_ACCESS_DENIED},
                 {TEXT("Sub\\Deeper"), ERROR_SUCCESS},
                 {TEXT("Sub"), ERROR_SUCCESS},
                 {TEXT("Sub"), ERROR_FILE_NOT_FOUND}};
  for (const auto& d : deletes) expect_status(RegDeleteKeyW(scratch.key, d.sub), d.status);
}
