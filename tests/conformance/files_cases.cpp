// Files: creation over hidden and system files, and names that end in a
// separator.
#include "conformance.h"

namespace {

HANDLE Create(const WCHAR* path, DWORD disposition, DWORD attributes) {
  conformance::PoisonError();
  return CreateFileW(path, GENERIC_WRITE, 0, nullptr, disposition, attributes, nullptr);
}

}  // namespace

// Overwriting a hidden or system file without restating those attributes is
// refused with ERROR_ACCESS_DENIED; restating them succeeds.
CONFORMANCE_CASE(create_always_over_hidden_or_system_file) {
  WCHAR path[] = TEXT("C:\\conformance\\hidden0.txt");
  WCHAR& digit = path[21];
  const struct {
    DWORD existing;
    DWORD disposition;
    DWORD asked;
    bool succeeds;
  } cases[] = {
      {FILE_ATTRIBUTE_HIDDEN, CREATE_ALWAYS, 0, false},
      {FILE_ATTRIBUTE_SYSTEM, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, false},
      {FILE_ATTRIBUTE_HIDDEN, TRUNCATE_EXISTING, 0, false},
      {FILE_ATTRIBUTE_HIDDEN, CREATE_ALWAYS, FILE_ATTRIBUTE_HIDDEN, true},
      {FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, CREATE_ALWAYS, FILE_ATTRIBUTE_HIDDEN, false},
      {FILE_ATTRIBUTE_HIDDEN, OPEN_EXISTING, 0, true},
  };
  for (const auto& c : cases) {
    ++digit;  // a file of its own per row
    HANDLE file = Create(path, CREATE_NEW, c.existing);
    ok(file != INVALID_HANDLE_VALUE, "creating the file failed with %lu", GetLastError());
    CloseHandle(file);
    file = Create(path, c.disposition, c.asked);
    if (c.succeeds) {
      ok(file != INVALID_HANDLE_VALUE, "attributes %lx, disposition %lu: failed with %lu", c.existing, c.disposition,
         GetLastError());
    } else {
      ok(file == INVALID_HANDLE_VALUE, "attributes %lx, disposition %lu: succeeded", c.existing, c.disposition);
      ok_error(ERROR_ACCESS_DENIED);
    }
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }
}

// "name\" names a directory; after a file's name it names nothing.
CONFORMANCE_CASE(trailing_separator_after_a_file_name) {
  HANDLE file = Create(TEXT("C:\\conformance\\plain.txt"), CREATE_ALWAYS, 0);
  CloseHandle(file);
  conformance::PoisonError();
  ok(GetFileAttributesW(TEXT("C:\\conformance\\plain.txt\\")) == INVALID_FILE_ATTRIBUTES, "the file was found");
  ok_error(ERROR_INVALID_NAME);
  file = Create(TEXT("C:\\conformance\\plain.txt\\"), OPEN_EXISTING, 0);
  ok(file == INVALID_HANDLE_VALUE, "the file was opened");
  ok_error(ERROR_INVALID_NAME);
  conformance::PoisonError();
  ok(!DeleteFileW(TEXT("C:\\conformance\\plain.txt\\")), "the file was deleted");
  ok_error(ERROR_INVALID_NAME);
  ok(GetFileAttributesW(TEXT("C:\\conformance\\")) == FILE_ATTRIBUTE_DIRECTORY, "the directory is not one");
}
