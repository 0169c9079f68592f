// The registry, under a scratch key of the current user made and removed
// here: keys made and opened, the two-call value fetch, rights and
// deletions. The calls return their error; the last error stays as it was.
#include <string>

#include "conformance.h"

using namespace conformance;

namespace {

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

}  // namespace

// RegCreateKeyExW makes the keys on the way and says so; asked again, in
// another case, it opens the same key. Values are fetched in two calls (a
// short buffer gives ERROR_MORE_DATA and the size needed); a handle does
// only what it was opened for; RegDeleteKeyW takes a key without sub-keys.
CONFORMANCE_CASE(registry_keys_values_rights_and_deletions) {
  const WCHAR* const base = TEXT("Software\\RavelquillConformance");
  HKEY root = nullptr, key = reinterpret_cast<HKEY>(kPoison), reader = nullptr, writer = nullptr;
  auto remove = [&] {
    for (const WCHAR* below : {TEXT("\\Sub\\Deeper"), TEXT("\\Sub"), TEXT("")})
      RegDeleteKeyW(HKEY_CURRENT_USER, (std::basic_string<WCHAR>(base) + below).c_str());
  };
  remove();
  expect_status(RegOpenKeyExW(HKEY_CURRENT_USER, base, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  ok(key == nullptr, "the handle is %p", static_cast<void*>(key));
  const struct {
    const WCHAR* spelling;
    DWORD disposition;
  } creates[] = {{TEXT("Software\\RavelquillConformance\\Sub\\Deeper"), REG_CREATED_NEW_KEY},
                 {TEXT("SOFTWARE\\ravelquillconformance\\SUB\\deeper"), REG_OPENED_EXISTING_KEY}};
  for (const auto& c : creates) {
    DWORD disposition = kPoison;
    expect_status(
        RegCreateKeyExW(HKEY_CURRENT_USER, c.spelling, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, &disposition),
        ERROR_SUCCESS);
    ok(disposition == c.disposition, "%s: disposition %lu", Narrow(c.spelling).c_str(), disposition);
    RegCloseKey(key);
  }
  expect_status(RegOpenKeyExW(HKEY_CURRENT_USER, base, 0, KEY_ALL_ACCESS, &root), ERROR_SUCCESS);  // made on the way
  const WCHAR text[] = TEXT("C:\\Program Files");
  expect_status(RegSetValueExW(root, TEXT("Text"), 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof(text)),
                ERROR_SUCCESS);
  expect_status(RegOpenKeyExW(root, nullptr, 0, KEY_READ, &reader), ERROR_SUCCESS);
  DWORD type = kPoison, size = kPoison;
  expect_status(RegQueryValueExW(reader, TEXT("TEXT"), nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  ok(type == REG_SZ && size == sizeof(text), "type %lu, size %lu", type, size);
  BYTE data[64];
  size = sizeof(text) - 1;
  expect_status(RegQueryValueExW(reader, TEXT("Text"), nullptr, nullptr, data, &size), ERROR_MORE_DATA);
  ok(size == sizeof(text), "a short buffer: size %lu", size);
  size = sizeof(data);
  expect_status(RegQueryValueExW(reader, TEXT("Text"), nullptr, nullptr, data, &size), ERROR_SUCCESS);
  ok(size == sizeof(text) && std::memcmp(data, text, size) == 0, "size %lu or data", size);
  expect_status(RegQueryValueExW(reader, TEXT("Missing"), nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  expect_status(RegSetValueExW(reader, TEXT("New"), 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 2),
                ERROR_ACCESS_DENIED);
  expect_status(RegDeleteValueW(reader, TEXT("Text")), ERROR_ACCESS_DENIED);
  expect_status(RegCloseKey(reader), ERROR_SUCCESS);
  expect_status(RegCloseKey(reader), ERROR_INVALID_HANDLE);
  expect_status(RegOpenKeyExW(root, nullptr, 0, KEY_WRITE, &writer), ERROR_SUCCESS);
  expect_status(RegQueryValueExW(writer, TEXT("Text"), nullptr, nullptr, nullptr, &size), ERROR_ACCESS_DENIED);
  RegCloseKey(writer);
  expect_status(RegDeleteValueW(root, TEXT("TEXT")), ERROR_SUCCESS);
  expect_status(RegDeleteValueW(root, TEXT("Text")), ERROR_FILE_NOT_FOUND);
  const struct {
    const WCHAR* sub;
    LONG status;
  } deletes[] = {
      {TEXT("Sub"), ERROR_ACCESS_DENIED}, {TEXT("Sub\\Deeper"), ERROR_SUCCESS}, {TEXT("Sub"), ERROR_SUCCESS}};
  for (const auto& d : deletes) expect_status(RegDeleteKeyW(root, d.sub), d.status);
  RegCloseKey(root);
  remove();
}
