// Files: creation, sharing, reading and writing, deletion, attributes,
// renames now and at restart, and the system's and the module's paths.
#include <string>

#include "conformance.h"

using namespace conformance;

namespace {

using Text = std::basic_string<WCHAR>;
const DWORD R = GENERIC_READ, W = GENERIC_WRITE, SR = FILE_SHARE_READ, SW = FILE_SHARE_WRITE, SD = FILE_SHARE_DELETE;

Text InWork(const WCHAR* name) { return Text(WorkDirectory()) + TEXT("\\") + name; }

HANDLE Create(const Text& path, DWORD access, DWORD share, DWORD disposition, DWORD attributes = 0) {
  return CreateFileW(path.c_str(), access, share, nullptr, disposition, attributes, nullptr);
}

// A file holding `bytes`, closed again.
void MakeFile(const Text& path, const char* bytes, DWORD attributes = 0) {
  HANDLE file = expect(Create(path, W, 0, CREATE_ALWAYS, attributes), 0);
  DWORD written = 0;
  WriteFile(file, bytes, static_cast<DWORD>(std::strlen(bytes)), &written, nullptr);
  Close(file);
}

// The file's bytes, read through a handle of its own; "<missing>" when it
// cannot be opened.
std::string Contents(const Text& path) {
  HANDLE file = Create(path, R, SR | SW | SD, OPEN_EXISTING);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  char buffer[64];
  DWORD read = 0;
  ReadFile(file, buffer, sizeof(buffer), &read, nullptr);
  CloseHandle(file);
  return std::string(buffer, read);
}

}  // namespace

// Overwriting a hidden or system file without restating those attributes is
// refused with ERROR_ACCESS_DENIED; restating them succeeds.
CONFORMANCE_CASE(create_always_over_hidden_or_system_file) {
  const DWORD refused = WineDiffers(
                            "CREATE_ALWAYS and TRUNCATE_EXISTING overwrite a hidden or system file without "
                            "its attributes restated (Windows: 5)")
                            ? 0
                            : ERROR_ACCESS_DENIED;
  const DWORD H = FILE_ATTRIBUTE_HIDDEN, S = FILE_ATTRIBUTE_SYSTEM;
  const struct {
    DWORD existing, disposition, asked, error;
  } cases[] = {
      {H, CREATE_ALWAYS, 0, refused},     {S, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, refused},
      {H, TRUNCATE_EXISTING, 0, refused}, {H, CREATE_ALWAYS, H, 0},
      {H | S, CREATE_ALWAYS, H, refused}, {H, OPEN_EXISTING, 0, 0},
  };
  Text path = InWork(TEXT("hidden0.txt"));
  for (const auto& c : cases) {
    ++path[path.size() - 5];  // a file of its own per row
    const Row row("attributes %lx, disposition %lu", c.existing, c.disposition);
    Close(expect(Create(path, W, 0, CREATE_NEW, c.existing), 0));
    Close(expect(Create(path, W, 0, c.disposition, c.asked), c.error));
  }
}

// "name\" names a directory; after a file's name it names nothing.
CONFORMANCE_CASE(trailing_separator_after_a_file_name) {
  MakeFile(InWork(TEXT("plain.txt")), "");
  const Text path = InWork(TEXT("plain.txt\\"));
  expect(GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES,
         WineDiffers("GetFileAttributesW of \"file\\\" gives 3 (Windows: 123)") ? ERROR_PATH_NOT_FOUND
                                                                                : ERROR_INVALID_NAME);
  expect(Create(path, W, 0, OPEN_EXISTING), ERROR_INVALID_NAME);
  expect(DeleteFileW(path.c_str()), ERROR_INVALID_NAME);
  ok(GetFileAttributesW(InWork(TEXT("")).c_str()) == FILE_ATTRIBUTE_DIRECTORY, "the directory is not one");
}

// Each disposition against an existing and a missing file: the handle, the
// last error (183 when CREATE_ALWAYS or OPEN_ALWAYS met a file, else 0) and
// what is left of the old bytes. No file goes into a missing directory, and
// a directory is no file.
CONFORMANCE_CASE(create_file_dispositions) {
  const struct {
    DWORD disposition;
    bool exists;
    DWORD error;  // 0 with a handle, or the failure's code
    const char* after;
  } cases[] = {
      {CREATE_NEW, true, ERROR_FILE_EXISTS, "old"},
      {CREATE_NEW, false, 0, ""},
      {CREATE_ALWAYS, true, ERROR_ALREADY_EXISTS, ""},
      {CREATE_ALWAYS, false, 0, ""},
      {OPEN_EXISTING, true, 0, "old"},
      {OPEN_EXISTING, false, ERROR_FILE_NOT_FOUND, "<missing>"},
      {OPEN_ALWAYS, true, ERROR_ALREADY_EXISTS, "old"},
      {OPEN_ALWAYS, false, 0, ""},
      {TRUNCATE_EXISTING, true, 0, ""},
      {TRUNCATE_EXISTING, false, ERROR_FILE_NOT_FOUND, "<missing>"},
  };
  const Text path = InWork(TEXT("disposition.txt"));
  for (const auto& c : cases) {
    const Row row("disposition %lu, exists %d", c.disposition, c.exists);
    DeleteFileW(path.c_str());
    if (c.exists) MakeFile(path, "old");
    PoisonError();
    HANDLE file = Create(path, R | W, 0, c.disposition);
    ok(GetLastError() == c.error, "last error %lu, expected %lu", GetLastError(), c.error);
    ok(Succeeded(file) == (c.error == 0 || c.error == ERROR_ALREADY_EXISTS), "handle %p", file);
    Close(file);
    ok(Contents(path) == c.after, "the file holds \"%s\"", Contents(path).c_str());
  }
  expect(Create(InWork(TEXT("none\\x.txt")), W, 0, CREATE_ALWAYS), ERROR_PATH_NOT_FOUND);
  expect(Create(WorkDirectory(), R, SR, OPEN_EXISTING), ERROR_ACCESS_DENIED);  // no FILE_FLAG_BACKUP_SEMANTICS
}

// A second handle must share what the first one does and grant what the
// first one uses; otherwise ERROR_SHARING_VIOLATION, both ways round.
CONFORMANCE_CASE(sharing_is_checked_both_ways) {
  const struct {
    DWORD access1, share1, access2, share2, error;
  } cases[] = {
      {R, SR, R, SR, 0},
      {R, SR, W, SR, ERROR_SHARING_VIOLATION},       // the first does not share writing
      {W, SR | SW, R, SR, ERROR_SHARING_VIOLATION},  // the second does not share the first's writing
      {W, SR | SW, R, SR | SW, 0},
      {R, 0, R, SR, ERROR_SHARING_VIOLATION},
      {R, SR | SW | SD, DELETE, SR | SW | SD, 0},
      {R, SR | SW, DELETE, SR | SW | SD, ERROR_SHARING_VIOLATION},
  };
  const Text path = InWork(TEXT("shared.txt"));
  MakeFile(path, "data");
  for (const auto& c : cases) {
    const Row row("access %lx share %lx, then access %lx share %lx", c.access1, c.share1, c.access2, c.share2);
    HANDLE first = expect(Create(path, c.access1, c.share1, OPEN_EXISTING), 0);
    Close(expect(Create(path, c.access2, c.share2, OPEN_EXISTING), c.error));
    Close(first);
  }
}

// Reads and writes move one position; the end of the file is a successful
// read of 0 bytes; a handle does only what it was opened for, and is
// invalid once closed.
CONFORMANCE_CASE(read_and_write_follow_the_handles_access) {
  const Text path = InWork(TEXT("data.bin"));
  HANDLE file = expect(Create(path, W, 0, CREATE_NEW), 0);
  char buffer[9] = {};
  DWORD count = kPoison;
  ok(expect(WriteFile(file, "hello", 5, &count, nullptr), 0) && count == 5, "wrote %lu bytes", count);
  count = kPoison;
  expect(ReadFile(file, buffer, 2, &count, nullptr), ERROR_ACCESS_DENIED);
  ok(count == 0, "count %lu after a refused read", count);
  CloseHandle(file);

  file = expect(Create(path, R, SR, OPEN_EXISTING), 0);
  for (const char* expected : {"he", "llo", ""}) {
    std::memset(buffer, 0, sizeof(buffer));  // reads take at most 8
    count = kPoison;
    expect(ReadFile(file, buffer, *expected == 'h' ? 2 : 8, &count, nullptr), 0);
    ok(count == std::strlen(expected) && std::string(buffer) == expected, "read %lu bytes \"%s\", expected \"%s\"",
       count, buffer, expected);
  }
  count = kPoison;
  expect(WriteFile(file, "x", 1, &count, nullptr), ERROR_ACCESS_DENIED);
  ok(count == 0, "count %lu after a refused write", count);
  expect(CloseHandle(file), 0);
  expect(CloseHandle(file), ERROR_INVALID_HANDLE);
}

// What DeleteFileW refuses, and why.
CONFORMANCE_CASE(delete_file_refusals) {
  MakeFile(InWork(TEXT("readonly.txt")), "r");
  expect(SetFileAttributesW(InWork(TEXT("readonly.txt")).c_str(), FILE_ATTRIBUTE_READONLY), 0);
  MakeFile(InWork(TEXT("open.txt")), "o");
  HANDLE open = Create(InWork(TEXT("open.txt")), R, SR | SW, OPEN_EXISTING);
  const struct {
    Text path;
    DWORD error;
  } cases[] = {
      {InWork(TEXT("missing.txt")), ERROR_FILE_NOT_FOUND},
      {InWork(TEXT("none\\missing.txt")), ERROR_PATH_NOT_FOUND},
      {WorkDirectory(), ERROR_ACCESS_DENIED},
      {InWork(TEXT("readonly.txt")), ERROR_ACCESS_DENIED},
      {InWork(TEXT("open.txt")), ERROR_SHARING_VIOLATION},  // open without FILE_SHARE_DELETE
  };
  for (const auto& c : cases) {
    const Row row("%s", Narrow(c.path.c_str()).c_str());
    expect(DeleteFileW(c.path.c_str()), c.error);
  }
  CloseHandle(open);
  SetFileAttributesW(InWork(TEXT("readonly.txt")).c_str(), FILE_ATTRIBUTE_NORMAL);
}

// A file deleted while a handle shares deletion stays until that handle
// closes; until then it cannot be opened again.
CONFORMANCE_CASE(delete_pending_until_the_last_handle_closes) {
  const Text path = InWork(TEXT("pending.txt"));
  MakeFile(path, "p");
  HANDLE file = Create(path, R, SR | SD, OPEN_EXISTING);
  expect(DeleteFileW(path.c_str()), 0);
  Close(expect(Create(path, R, SR | SW | SD, OPEN_EXISTING),
               WineDiffers("a delete-pending file can be opened again (Windows: 5)") ? 0 : ERROR_ACCESS_DENIED));
  CloseHandle(file);
  expect(GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES, ERROR_FILE_NOT_FOUND);
}

// A new file is ARCHIVE plus what was asked; FILE_ATTRIBUTE_NORMAL is
// reported only alone; missing names say whether the directory exists.
CONFORMANCE_CASE(file_attributes) {
  MakeFile(InWork(TEXT("plain.txt")), "a");
  MakeFile(InWork(TEXT("hidden.txt")), "h", FILE_ATTRIBUTE_HIDDEN);
  MakeFile(InWork(TEXT("normal.txt")), "n");
  expect(SetFileAttributesW(InWork(TEXT("normal.txt")).c_str(), FILE_ATTRIBUTE_NORMAL), 0);
  const bool archiveStays = WineDiffers(
      "a file keeps FILE_ATTRIBUTE_ARCHIVE after SetFileAttributesW(FILE_ATTRIBUTE_NORMAL) (Windows: NORMAL)");
  const struct {
    Text path;
    DWORD attributes;
    DWORD error;
  } cases[] = {
      {InWork(TEXT("plain.txt")), FILE_ATTRIBUTE_ARCHIVE, kPoison},
      {InWork(TEXT("hidden.txt")), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE, kPoison},
      {InWork(TEXT("normal.txt")), static_cast<DWORD>(archiveStays ? FILE_ATTRIBUTE_ARCHIVE : FILE_ATTRIBUTE_NORMAL),
       kPoison},
      {WorkDirectory(), FILE_ATTRIBUTE_DIRECTORY, kPoison},
      {InWork(TEXT("missing.txt")), INVALID_FILE_ATTRIBUTES, ERROR_FILE_NOT_FOUND},
      {InWork(TEXT("none\\missing.txt")), INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
  };
  for (const auto& c : cases) {
    const Row row("%s", Narrow(c.path.c_str()).c_str());
    PoisonError();
    const DWORD attributes = GetFileAttributesW(c.path.c_str());
    ok(attributes == c.attributes, "attributes %lx, expected %lx", attributes, c.attributes);
    if (c.error != kPoison) ok_error(c.error);
  }
  expect(SetFileAttributesW(InWork(TEXT("missing.txt")).c_str(), FILE_ATTRIBUTE_NORMAL), ERROR_FILE_NOT_FOUND);
  SetFileAttributesW(InWork(TEXT("hidden.txt")).c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Relative parts, "/" and any case name the same file; without "\\?\" a
// path of MAX_PATH characters or more is refused, with it the path is taken.
CONFORMANCE_CASE(path_forms_name_the_same_file) {
  MakeFile(InWork(TEXT("same.txt")), "same");
  ok(Contents(TEXT("c:/CONFORMANCE/none/../Same.TXT")) == "same", "another form named another file");
  const Text longPath = InWork(Text(250, 'q').c_str());
  Close(expect(Create(longPath, W, 0, CREATE_ALWAYS),
               WineDiffers("paths of MAX_PATH characters or more work without \"\\\\?\\\" (Windows: 3)")
                   ? 0
                   : ERROR_PATH_NOT_FOUND));
  const Text verbatim = TEXT("\\\\?\\") + longPath;
  Close(expect(Create(verbatim, W, 0, CREATE_ALWAYS), 0));
  expect(DeleteFileW(verbatim.c_str()), 0);
}

// A rename now: the name moves, an existing target needs
// MOVEFILE_REPLACE_EXISTING, an open file without FILE_SHARE_DELETE stays.
CONFORMANCE_CASE(move_file_now) {
  const Text a = InWork(TEXT("a.txt")), b = InWork(TEXT("b.txt")), c = InWork(TEXT("c.txt"));
  MakeFile(a, "a");
  MakeFile(b, "b");
  const struct {
    const Text& from;
    const Text& to;
    DWORD flags;
    DWORD error;
  } cases[] = {
      {a, b, 0, ERROR_ALREADY_EXISTS},
      {a, c, 0, 0},
      {c, b, MOVEFILE_REPLACE_EXISTING, 0},
      {c, a, 0, ERROR_FILE_NOT_FOUND},
  };
  for (const auto& m : cases) {
    const Row row("%s to %s", Narrow(m.from.c_str()).c_str(), Narrow(m.to.c_str()).c_str());
    expect(MoveFileExW(m.from.c_str(), m.to.c_str(), m.flags), m.error);
  }
  ok(Contents(a) == "<missing>" && Contents(b) == "a" && Contents(c) == "<missing>", "the files did not move");
  HANDLE open = Create(b, R, SR, OPEN_EXISTING);
  expect(MoveFileExW(b.c_str(), a.c_str(), 0), ERROR_SHARING_VIOLATION);
  CloseHandle(open);
}

// A delayed delete or rename is appended to PendingFileRenameOperations:
// "\??\" and the path, then an empty string or the target ("!" first when
// it may replace), also for a missing file. The value is restored after.
CONFORMANCE_CASE(move_file_delay_until_reboot_is_recorded) {
  HKEY key = nullptr;
  const LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, TEXT("SYSTEM\\CurrentControlSet\\Control\\Session Manager"), 0,
                                    KEY_QUERY_VALUE | KEY_SET_VALUE, &key);
  ok(status == ERROR_SUCCESS, "opening the session manager's key failed with %ld", status);
  if (status != ERROR_SUCCESS) return;
  const WCHAR* value = TEXT("PendingFileRenameOperations");
  DWORD type = 0;
  auto read = [&](std::string& bytes) {
    DWORD size = 0;
    if (RegQueryValueExW(key, value, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
    bytes.assign(size, '\0');
    return RegQueryValueExW(key, value, nullptr, &type, reinterpret_cast<BYTE*>(&bytes[0]), &size) == ERROR_SUCCESS;
  };
  std::string before;
  const bool existed = read(before);

  const Text old = InWork(TEXT("old.dll")), fresh = InWork(TEXT("new.dll")), missing = InWork(TEXT("gone.dll"));
  MakeFile(old, "o");
  MakeFile(fresh, "n");
  const DWORD flags = MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING;
  expect(MoveFileExW(old.c_str(), nullptr, flags), 0);
  expect(MoveFileExW(fresh.c_str(), old.c_str(), flags), 0);
  expect(MoveFileExW(missing.c_str(), nullptr, flags), 0);
  Text expected;
  for (const Text& part : {TEXT("\\??\\") + old, Text(), TEXT("\\??\\") + fresh, TEXT("!\\??\\") + old,
                           TEXT("\\??\\") + missing, Text()}) {
    expected += part;
    expected.push_back(0);
  }
  expected.push_back(0);
  std::string after;
  ok(read(after) && type == REG_MULTI_SZ, "no list was recorded");
  std::string kept = existed ? before : std::string();
  // The old list's own final zero gives way to the new entries.
  if (kept.size() >= 2 && kept.compare(kept.size() - 2, 2, std::string(2, '\0')) == 0) kept.resize(kept.size() - 2);
  const std::string wanted = kept + std::string(reinterpret_cast<const char*>(expected.data()), expected.size() * 2);
  ok(after == wanted, "the list holds %lu bytes, expected %lu: %s", (unsigned long)after.size(),
     (unsigned long)wanted.size(), Narrow(reinterpret_cast<const WCHAR*>(after.data() + kept.size())).c_str());
  ok(Contents(old) == "o" && Contents(fresh) == "n", "a delayed move changed the files now");

  if (existed) {
    RegSetValueExW(key, value, 0, type, reinterpret_cast<const BYTE*>(before.data()),
                   static_cast<DWORD>(before.size()));
  } else {
    RegDeleteValueW(key, value);
  }
  RegCloseKey(key);
}

// The system directory: its length without the terminator when it fits,
// else the size needed with it, nothing written and no error set.
CONFORMANCE_CASE(system_directory_size_rules) {
  WCHAR path[MAX_PATH];
  PoisonError();
  const UINT needed = GetSystemDirectoryW(nullptr, 0);
  ok(needed > 4 && needed < MAX_PATH, "size %u", needed);
  ok_error(kPoison);
  Poison(path);
  ok(GetSystemDirectoryW(path, needed - 1) == needed, "a short buffer did not report the size needed");
  ok(path[0] == static_cast<WCHAR>(0xCCCC), "a short buffer was written");
  ok(GetSystemDirectoryW(path, needed) == needed - 1 && TextLength(path) == needed - 1, "an exact buffer took %u",
     (unsigned)TextLength(path));
  ok(SameText(path + needed - 1 - 9, TEXT("\\system32"), true) && path[1] == ':', "the system directory is %s",
     Narrow(path).c_str());
}

// The program's own path, truncated to fit: the size returned and 122; an
// unknown module gives 126.
CONFORMANCE_CASE(module_file_name_truncation) {
  WCHAR full[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, full, MAX_PATH);
  ok(length > 15 && length < MAX_PATH && TextLength(full) == length &&
         SameText(full + length - 15, TEXT("conformance.exe"), true),
     "the program is %s", Narrow(full).c_str());
  WCHAR part[8];
  Poison(part);
  PoisonError();
  ok(GetModuleFileNameW(nullptr, part, 8) == 8, "a short buffer did not return its size");
  ok_error(ERROR_INSUFFICIENT_BUFFER);
  const bool terminated =
      !WineDiffers("GetModuleFileNameW fills a short buffer without a terminator (Windows: ends it)");
  ok(Text(part, 7) == Text(full, 7), "the start of the path is %s", Narrow(part, 7).c_str());
  ok(terminated ? part[7] == 0 : part[7] == full[7], "the last character is %u", (unsigned)part[7]);
  expect(GetModuleFileNameW(reinterpret_cast<HMODULE>(0x12340000), full, MAX_PATH) != 0, ERROR_MOD_NOT_FOUND);
}
