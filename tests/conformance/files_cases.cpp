// Files: creation, sharing, reading and writing, deletion, attributes,
// renames now and at restart, and the system's and the module's paths.
#include <string>

#include "conformance.h"

namespace {

using conformance::PoisonError;
using Text = std::basic_string<WCHAR>;

Text InWork(const WCHAR* name) { return Text(conformance::WorkDirectory()) + TEXT("\\") + name; }

HANDLE Open(const Text& path, DWORD access, DWORD share, DWORD disposition, DWORD attributes = 0) {
  PoisonError();
  return CreateFileW(path.c_str(), access, share, nullptr, disposition, attributes, nullptr);
}

HANDLE Create(const WCHAR* path, DWORD disposition, DWORD attributes) {
  return Open(path, GENERIC_WRITE, 0, disposition, attributes);
}

// A file holding `bytes`, closed again.
void MakeFile(const Text& path, const char* bytes, DWORD attributes = 0) {
  HANDLE file = Open(path, GENERIC_WRITE, 0, CREATE_ALWAYS, attributes);
  ok(file != INVALID_HANDLE_VALUE, "creating %s failed with %lu", conformance::Narrow(path.c_str()).c_str(),
     GetLastError());
  DWORD written = 0;
  WriteFile(file, bytes, static_cast<DWORD>(std::strlen(bytes)), &written, nullptr);
  CloseHandle(file);
}

// The file's bytes, read through a handle of its own; "<missing>" when it
// cannot be opened.
std::string Contents(const Text& path) {
  HANDLE file = Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  char buffer[64];
  DWORD read = 0;
  ReadFile(file, buffer, sizeof(buffer), &read, nullptr);
  CloseHandle(file);
  return std::string(buffer, read);
}

DWORD DeleteError(const Text& path) {
  PoisonError();
  return DeleteFileW(path.c_str()) ? ERROR_SUCCESS : GetLastError();
}

}  // namespace

// Overwriting a hidden or system file without restating those attributes is
// refused with ERROR_ACCESS_DENIED; restating them succeeds.
CONFORMANCE_CASE(create_always_over_hidden_or_system_file) {
  const bool refused = !conformance::WineDiffers(
      "CREATE_ALWAYS and TRUNCATE_EXISTING overwrite a hidden or system file without "
      "its attributes restated (Windows: 5)");
  WCHAR path[] = TEXT("C:\\conformance\\hidden0.txt");
  WCHAR& digit = path[21];
  const struct {
    DWORD existing;
    DWORD disposition;
    DWORD asked;
    bool succeeds;
  } cases[] = {
      {FILE_ATTRIBUTE_HIDDEN, CREATE_ALWAYS, 0, !refused},
      {FILE_ATTRIBUTE_SYSTEM, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, !refused},
      {FILE_ATTRIBUTE_HIDDEN, TRUNCATE_EXISTING, 0, !refused},
      {FILE_ATTRIBUTE_HIDDEN, CREATE_ALWAYS, FILE_ATTRIBUTE_HIDDEN, true},
      {FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, CREATE_ALWAYS, FILE_ATTRIBUTE_HIDDEN, !refused},
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
  PoisonError();
  ok(GetFileAttributesW(TEXT("C:\\conformance\\plain.txt\\")) == INVALID_FILE_ATTRIBUTES, "the file was found");
  if (conformance::WineDiffers("GetFileAttributesW of \"file\\\" gives 3 (Windows: 123)")) {
    ok_error(ERROR_PATH_NOT_FOUND);
  } else {
    ok_error(ERROR_INVALID_NAME);
  }
  file = Create(TEXT("C:\\conformance\\plain.txt\\"), OPEN_EXISTING, 0);
  ok(file == INVALID_HANDLE_VALUE, "the file was opened");
  ok_error(ERROR_INVALID_NAME);
  PoisonError();
  ok(!DeleteFileW(TEXT("C:\\conformance\\plain.txt\\")), "the file was deleted");
  ok_error(ERROR_INVALID_NAME);
  ok(GetFileAttributesW(TEXT("C:\\conformance\\")) == FILE_ATTRIBUTE_DIRECTORY, "the directory is not one");
}

// Each disposition against an existing and a missing file: the handle, the
// last error (183 when CREATE_ALWAYS or OPEN_ALWAYS met a file, else 0) and
// what is left of the old bytes.
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
    DeleteFileW(path.c_str());
    if (c.exists) MakeFile(path, "old");
    HANDLE file = Open(path, GENERIC_READ | GENERIC_WRITE, 0, c.disposition);
    const DWORD error = GetLastError();
    const bool fails = c.error != 0 && c.error != ERROR_ALREADY_EXISTS;
    ok((file == INVALID_HANDLE_VALUE) == fails, "disposition %lu, exists %d: handle %p", c.disposition, c.exists, file);
    ok(error == c.error, "disposition %lu, exists %d: last error %lu, expected %lu", c.disposition, c.exists, error,
       c.error);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    const std::string after = Contents(path);
    ok(after == c.after, "disposition %lu, exists %d: the file holds \"%s\"", c.disposition, c.exists, after.c_str());
  }
  HANDLE file = Open(InWork(TEXT("none\\x.txt")), GENERIC_WRITE, 0, CREATE_ALWAYS);
  ok(file == INVALID_HANDLE_VALUE, "created a file in a missing directory");
  ok_error(ERROR_PATH_NOT_FOUND);
  file = Open(conformance::WorkDirectory(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  ok(file == INVALID_HANDLE_VALUE, "opened a directory without FILE_FLAG_BACKUP_SEMANTICS");
  ok_error(ERROR_ACCESS_DENIED);
}

// A second handle must share what the first one does and grant what the
// first one uses; otherwise ERROR_SHARING_VIOLATION, both ways round.
CONFORMANCE_CASE(sharing_is_checked_both_ways) {
  const DWORD R = GENERIC_READ, W = GENERIC_WRITE, SR = FILE_SHARE_READ, SW = FILE_SHARE_WRITE, SD = FILE_SHARE_DELETE;
  const struct {
    DWORD access1, share1, access2, share2;
    bool opens;
  } cases[] = {
      {R, SR, R, SR, true},
      {R, SR, W, SR, false},       // the first does not share writing
      {W, SR | SW, R, SR, false},  // the second does not share the first's writing
      {W, SR | SW, R, SR | SW, true},
      {R, 0, R, SR, false},
      {R, SR | SW | SD, DELETE, SR | SW | SD, true},
      {R, SR | SW, DELETE, SR | SW | SD, false},
  };
  const Text path = InWork(TEXT("shared.txt"));
  MakeFile(path, "data");
  for (const auto& c : cases) {
    HANDLE first = Open(path, c.access1, c.share1, OPEN_EXISTING);
    ok(first != INVALID_HANDLE_VALUE, "the first open failed with %lu", GetLastError());
    HANDLE second = Open(path, c.access2, c.share2, OPEN_EXISTING);
    const char* row = "access %lx share %lx, then access %lx share %lx";
    if (c.opens) {
      ok(second != INVALID_HANDLE_VALUE, row, c.access1, c.share1, c.access2, c.share2);
    } else {
      ok(second == INVALID_HANDLE_VALUE, row, c.access1, c.share1, c.access2, c.share2);
      ok_error(ERROR_SHARING_VIOLATION);
    }
    if (second != INVALID_HANDLE_VALUE) CloseHandle(second);
    CloseHandle(first);
  }
}

// Reads and writes move one position; the end of the file is a successful
// read of 0 bytes; a handle does only what it was opened for.
CONFORMANCE_CASE(read_and_write_follow_the_handles_access) {
  const Text path = InWork(TEXT("data.bin"));
  HANDLE file = Open(path, GENERIC_WRITE, 0, CREATE_NEW);
  DWORD count;
  conformance::Poison(count);
  PoisonError();
  ok(WriteFile(file, "hello", 5, &count, nullptr) && count == 5, "wrote %lu bytes", count);
  char buffer[8] = {};
  conformance::Poison(count);
  PoisonError();
  ok(!ReadFile(file, buffer, 2, &count, nullptr), "read through a write-only handle");
  ok_error(ERROR_ACCESS_DENIED);
  ok(count == 0, "count %lu after a refused read", count);
  CloseHandle(file);

  file = Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  const struct {
    DWORD asked;
    DWORD got;
    const char* bytes;
  } reads[] = {{2, 2, "he"}, {8, 3, "llo"}, {8, 0, ""}};
  for (const auto& r : reads) {
    std::memset(buffer, 0, sizeof(buffer));
    conformance::Poison(count);
    PoisonError();
    ok(ReadFile(file, buffer, r.asked, &count, nullptr), "reading %lu bytes failed with %lu", r.asked, GetLastError());
    ok(count == r.got && std::string(buffer, count) == r.bytes, "read %lu bytes \"%s\", expected \"%s\"", count,
       std::string(buffer, count < 8 ? count : 0).c_str(), r.bytes);
  }
  conformance::Poison(count);
  PoisonError();
  ok(!WriteFile(file, "x", 1, &count, nullptr), "wrote through a read-only handle");
  ok_error(ERROR_ACCESS_DENIED);
  ok(count == 0, "count %lu after a refused write", count);
  ok(CloseHandle(file), "closing failed");
  PoisonError();
  ok(!CloseHandle(file), "a handle closed twice");
  ok_error(ERROR_INVALID_HANDLE);
}

// What DeleteFileW refuses, and why.
CONFORMANCE_CASE(delete_file_refusals) {
  MakeFile(InWork(TEXT("readonly.txt")), "r");
  PoisonError();
  ok(SetFileAttributesW(InWork(TEXT("readonly.txt")).c_str(), FILE_ATTRIBUTE_READONLY), "failed with %lu",
     GetLastError());
  MakeFile(InWork(TEXT("open.txt")), "o");
  HANDLE open = Open(InWork(TEXT("open.txt")), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  const struct {
    const WCHAR* name;
    DWORD error;
  } cases[] = {
      {TEXT("missing.txt"), ERROR_FILE_NOT_FOUND},
      {TEXT("none\\missing.txt"), ERROR_PATH_NOT_FOUND},
      {TEXT(""), ERROR_ACCESS_DENIED},  // the work directory itself
      {TEXT("readonly.txt"), ERROR_ACCESS_DENIED},
      {TEXT("open.txt"), ERROR_SHARING_VIOLATION},  // open without FILE_SHARE_DELETE
  };
  for (const auto& c : cases) {
    Text path = InWork(c.name);
    if (*c.name == 0) path.pop_back();
    const DWORD error = DeleteError(path);
    ok(error == c.error, "%s: error %lu, expected %lu", conformance::Narrow(path.c_str()).c_str(), error, c.error);
  }
  CloseHandle(open);
  SetFileAttributesW(InWork(TEXT("readonly.txt")).c_str(), FILE_ATTRIBUTE_NORMAL);
}

// A file deleted while a handle shares deletion stays until that handle
// closes; until then it cannot be opened again.
CONFORMANCE_CASE(delete_pending_until_the_last_handle_closes) {
  const Text path = InWork(TEXT("pending.txt"));
  MakeFile(path, "p");
  HANDLE file = Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING);
  ok(DeleteError(path) == ERROR_SUCCESS, "the delete failed");
  HANDLE again = Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING);
  if (conformance::WineDiffers("a delete-pending file can be opened again (Windows: 5)")) {
    ok(again != INVALID_HANDLE_VALUE, "a delete-pending file failed with %lu", GetLastError());
  } else {
    ok(again == INVALID_HANDLE_VALUE, "a delete-pending file was opened");
    ok_error(ERROR_ACCESS_DENIED);
  }
  if (again != INVALID_HANDLE_VALUE) CloseHandle(again);
  CloseHandle(file);
  PoisonError();
  ok(GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES, "the file is still there");
  ok_error(ERROR_FILE_NOT_FOUND);
}

// A new file is ARCHIVE plus what was asked; FILE_ATTRIBUTE_NORMAL is
// reported only alone; missing names say whether the directory exists.
CONFORMANCE_CASE(file_attributes) {
  MakeFile(InWork(TEXT("plain.txt")), "a");
  MakeFile(InWork(TEXT("hidden.txt")), "h", FILE_ATTRIBUTE_HIDDEN);
  MakeFile(InWork(TEXT("normal.txt")), "n");
  SetFileAttributesW(InWork(TEXT("normal.txt")).c_str(), FILE_ATTRIBUTE_NORMAL);
  const bool archiveStays = conformance::WineDiffers(
      "a file keeps FILE_ATTRIBUTE_ARCHIVE after SetFileAttributesW(FILE_ATTRIBUTE_NORMAL) (Windows: NORMAL)");
  const struct {
    const WCHAR* path;
    DWORD attributes;
    DWORD error;
  } cases[] = {
      {TEXT("C:\\conformance\\plain.txt"), FILE_ATTRIBUTE_ARCHIVE, 0},
      {TEXT("C:\\conformance\\hidden.txt"), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE, 0},
      {TEXT("C:\\conformance\\normal.txt"),
       static_cast<DWORD>(archiveStays ? FILE_ATTRIBUTE_ARCHIVE : FILE_ATTRIBUTE_NORMAL), 0},
      {TEXT("C:\\conformance"), FILE_ATTRIBUTE_DIRECTORY, 0},
      {TEXT("C:\\conformance\\missing.txt"), INVALID_FILE_ATTRIBUTES, ERROR_FILE_NOT_FOUND},
      {TEXT("C:\\conformance\\none\\missing.txt"), INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
  };
  for (const auto& c : cases) {
    PoisonError();
    const DWORD attributes = GetFileAttributesW(c.path);
    const DWORD error = GetLastError();
    ok(attributes == c.attributes, "%s: attributes %lx, expected %lx", conformance::Narrow(c.path).c_str(), attributes,
       c.attributes);
    if (c.error != 0) ok(error == c.error, "%s: error %lu", conformance::Narrow(c.path).c_str(), error);
  }
  PoisonError();
  ok(!SetFileAttributesW(TEXT("C:\\conformance\\missing.txt"), FILE_ATTRIBUTE_NORMAL), "set a missing file's");
  ok_error(ERROR_FILE_NOT_FOUND);
  SetFileAttributesW(InWork(TEXT("hidden.txt")).c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Relative parts, "/" and any case name the same file; without "\\?\" a
// path of MAX_PATH characters or more is refused, with it the path is taken.
CONFORMANCE_CASE(path_forms_name_the_same_file) {
  MakeFile(InWork(TEXT("same.txt")), "same");
  ok(Contents(TEXT("c:/CONFORMANCE/none/../Same.TXT")) == "same", "another form named another file");
  const Text name(250, 'q');
  const Text longPath = InWork(name.c_str());
  ok(longPath.size() >= MAX_PATH, "not long enough");
  HANDLE file = Open(longPath, GENERIC_WRITE, 0, CREATE_ALWAYS);
  if (conformance::WineDiffers("paths of MAX_PATH characters or more work without \"\\\\?\\\" (Windows: 3)")) {
    ok(file != INVALID_HANDLE_VALUE, "a long path failed with %lu", GetLastError());
  } else {
    ok(file == INVALID_HANDLE_VALUE, "a long path was taken without \"\\\\?\\\"");
    ok_error(ERROR_PATH_NOT_FOUND);
  }
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  const Text verbatim = TEXT("\\\\?\\") + longPath;
  file = Open(verbatim, GENERIC_WRITE, 0, CREATE_ALWAYS);
  ok(file != INVALID_HANDLE_VALUE, "a long path with \"\\\\?\\\" failed with %lu", GetLastError());
  CloseHandle(file);
  ok(DeleteError(verbatim) == ERROR_SUCCESS, "the long path was not deleted");
}

// A rename now: the name moves, an existing target needs
// MOVEFILE_REPLACE_EXISTING, an open file without FILE_SHARE_DELETE stays.
CONFORMANCE_CASE(move_file_now) {
  const Text a = InWork(TEXT("a.txt")), b = InWork(TEXT("b.txt")), c = InWork(TEXT("c.txt"));
  MakeFile(a, "a");
  MakeFile(b, "b");
  const struct {
    const Text* from;
    const Text* to;
    DWORD flags;
    DWORD error;
  } cases[] = {
      {&a, &b, 0, ERROR_ALREADY_EXISTS},
      {&a, &c, 0, ERROR_SUCCESS},
      {&c, &b, MOVEFILE_REPLACE_EXISTING, ERROR_SUCCESS},
      {&c, &a, 0, ERROR_FILE_NOT_FOUND},
  };
  for (const auto& m : cases) {
    PoisonError();
    const DWORD error = MoveFileExW(m.from->c_str(), m.to->c_str(), m.flags) ? ERROR_SUCCESS : GetLastError();
    ok(error == m.error, "%s to %s: error %lu, expected %lu", conformance::Narrow(m.from->c_str()).c_str(),
       conformance::Narrow(m.to->c_str()).c_str(), error, m.error);
  }
  ok(Contents(a) == "<missing>" && Contents(b) == "a" && Contents(c) == "<missing>", "the files did not move");
  HANDLE open = Open(b, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  PoisonError();
  ok(!MoveFileExW(b.c_str(), a.c_str(), 0), "moved a file open without FILE_SHARE_DELETE");
  ok_error(ERROR_SHARING_VIOLATION);
  CloseHandle(open);
}

// A delayed delete or rename is appended to PendingFileRenameOperations:
// "\??\" and the path, then an empty string or the target ("!" first when
// it may replace), also for a missing file. The value is restored after.
CONFORMANCE_CASE(move_file_delay_until_reboot_is_recorded) {
  HKEY key = nullptr;
  LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, TEXT("SYSTEM\\CurrentControlSet\\Control\\Session Manager"), 0,
                              KEY_QUERY_VALUE | KEY_SET_VALUE, &key);
  ok(status == ERROR_SUCCESS, "opening the session manager's key failed with %ld", status);
  if (status != ERROR_SUCCESS) return;
  const WCHAR* value = TEXT("PendingFileRenameOperations");
  auto read = [&](std::string& bytes, DWORD& type) {
    DWORD size = 0;
    if (RegQueryValueExW(key, value, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
    bytes.assign(size, '\0');
    return RegQueryValueExW(key, value, nullptr, &type, reinterpret_cast<BYTE*>(&bytes[0]), &size) == ERROR_SUCCESS;
  };
  std::string before;
  DWORD type = 0;
  const bool existed = read(before, type);

  const Text old = InWork(TEXT("old.dll")), fresh = InWork(TEXT("new.dll")), missing = InWork(TEXT("gone.dll"));
  MakeFile(old, "o");
  MakeFile(fresh, "n");
  const Text* moves[][2] = {{&old, nullptr}, {&fresh, &old}, {&missing, nullptr}};
  for (const auto& m : moves) {
    PoisonError();
    ok(MoveFileExW(m[0]->c_str(), m[1] ? m[1]->c_str() : nullptr,
                   MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING),
       "%s: failed with %lu", conformance::Narrow(m[0]->c_str()).c_str(), GetLastError());
  }
  Text expected;
  for (const Text& part : {TEXT("\\??\\") + old, Text(), TEXT("\\??\\") + fresh, TEXT("!\\??\\") + old,
                           TEXT("\\??\\") + missing, Text()}) {
    expected += part;
    expected.push_back(0);
  }
  expected.push_back(0);
  std::string after;
  ok(read(after, type) && type == REG_MULTI_SZ, "no list was recorded");
  std::string kept = existed ? before : std::string();
  // The old list's own final zero gives way to the new entries.
  if (kept.size() >= 2 && kept.compare(kept.size() - 2, 2, std::string(2, '\0')) == 0) kept.resize(kept.size() - 2);
  const std::string wanted = kept + std::string(reinterpret_cast<const char*>(expected.data()), expected.size() * 2);
  ok(after == wanted, "the list holds %lu bytes, expected %lu: %s", (unsigned long)after.size(),
     (unsigned long)wanted.size(),
     conformance::Narrow(reinterpret_cast<const WCHAR*>(after.data() + kept.size())).c_str());
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
// else the size needed with it, nothing written.
CONFORMANCE_CASE(system_directory_size_rules) {
  WCHAR path[MAX_PATH];
  PoisonError();
  const UINT needed = GetSystemDirectoryW(nullptr, 0);
  ok(needed > 4 && needed < MAX_PATH, "size %u", needed);
  ok(GetLastError() == conformance::kPoison, "the sizing call set the last error to %lu", GetLastError());
  conformance::Poison(path);
  ok(GetSystemDirectoryW(path, needed - 1) == needed, "a short buffer did not report the size needed");
  ok(path[0] == static_cast<WCHAR>(0xCCCC), "a short buffer was written");
  ok(GetSystemDirectoryW(path, needed) == needed - 1, "an exact buffer did not take the path");
  ok(conformance::TextLength(path) == needed - 1, "the length is %u", (unsigned)conformance::TextLength(path));
  const WCHAR* tail = path + needed - 1 - 9;
  ok(conformance::SameText(tail, TEXT("\\system32"), true) && path[1] == ':', "the system directory is %s",
     conformance::Narrow(path).c_str());
}

// The program's own path, truncated to fit: the size returned and 122; an
// unknown module gives 126.
CONFORMANCE_CASE(module_file_name_truncation) {
  WCHAR full[MAX_PATH];
  PoisonError();
  const DWORD length = GetModuleFileNameW(nullptr, full, MAX_PATH);
  ok(length > 8 && length < MAX_PATH && conformance::TextLength(full) == length, "length %lu", length);
  ok(length > 15 && conformance::SameText(full + length - 15, TEXT("conformance.exe"), true), "the program is %s",
     conformance::Narrow(full).c_str());
  WCHAR part[8];
  conformance::Poison(part);
  PoisonError();
  ok(GetModuleFileNameW(nullptr, part, 8) == 8, "a short buffer did not return its size");
  ok_error(ERROR_INSUFFICIENT_BUFFER);
  const bool terminated =
      !conformance::WineDiffers("GetModuleFileNameW fills a short buffer without a terminator (Windows: ends it)");
  ok(Text(part, 7) == Text(full, 7), "the start of the path is %s", conformance::Narrow(part, 7).c_str());
  ok(terminated ? part[7] == 0 : part[7] == full[7], "the last character is %u", (unsigned)part[7]);
  PoisonError();
  ok(GetModuleFileNameW(reinterpret_cast<HMODULE>(0x12340000), full, MAX_PATH) == 0, "an unknown module has a name");
  ok_error(ERROR_MOD_NOT_FOUND);
}
