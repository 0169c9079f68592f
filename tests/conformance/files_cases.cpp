// Files: creation, sharing, reading and writing, deletion, attributes,
// renames now and at restart, and the system's and the module's paths.
#include <string>
#include <tuple>

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

// The file's bytes; "<missing>" when it cannot be opened.
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

// Each distinct outcome of a disposition: the last error (183 with a handle)
// and what is left of the old bytes, read through another spelling. Then
// (the file left there) paths that name no file, or one only with "\\?\".
CONFORMANCE_CASE(create_file_dispositions_and_paths) {
  const std::tuple<DWORD, bool, DWORD, const char*> cases[] = {
      {CREATE_NEW, true, ERROR_FILE_EXISTS, "old"},
      {CREATE_NEW, false, 0, ""},
      {CREATE_ALWAYS, true, ERROR_ALREADY_EXISTS, ""},
      {OPEN_ALWAYS, true, ERROR_ALREADY_EXISTS, "old"},
      {OPEN_EXISTING, false, ERROR_FILE_NOT_FOUND, "<missing>"},
      {OPEN_EXISTING, true, 0, "old"}};
  const Text path = InWork(TEXT("disposition.txt"));
  for (const auto& [disposition, exists, error, after] : cases) {
    const Row row("disposition %lu, exists %d", disposition, exists);
    DeleteFileW(path.c_str());
    if (exists) MakeFile(path, "old");
    PoisonError();
    HANDLE file = Create(path, R | W, 0, disposition);
    ok(GetLastError() == error && Succeeded(file) == (error == 0 || error == ERROR_ALREADY_EXISTS),
       "handle %p, last error %lu", file, GetLastError());
    Close(file);
    const std::string left = Contents(TEXT("c:/CONFORMANCE/none/../Disposition.TXT"));
    ok(left == after, "the file holds \"%s\"", left.c_str());
  }
  const Text longPath = InWork(Text(250, 'q').c_str());
  const bool noLimit = WineDiffers("paths of MAX_PATH characters or more work without \"\\\\?\\\" (Windows: 3)");
  const std::tuple<Text, DWORD, DWORD, DWORD> paths[] = {
      {WorkDirectory(), R, OPEN_EXISTING, ERROR_ACCESS_DENIED},  // no FILE_FLAG_BACKUP_SEMANTICS
      {path + TEXT("\\"), W, OPEN_EXISTING, ERROR_INVALID_NAME},
      {longPath, W, CREATE_ALWAYS, noLimit ? 0 : ERROR_PATH_NOT_FOUND},
      {TEXT("\\\\?\\") + longPath, W, CREATE_ALWAYS, 0}};
  for (const auto& [name, access, disposition, error] : paths) {
    const Row row("%s", Narrow(name.c_str(), 40).c_str());
    Close(expect(Create(name, access, SR, disposition), error));
  }
}

// Overwriting a hidden or system file without restating those attributes is
// refused with ERROR_ACCESS_DENIED; restating them succeeds.
CONFORMANCE_CASE(create_always_over_hidden_or_system_file) {
  const DWORD refused = WineDiffers(
                            "CREATE_ALWAYS and TRUNCATE_EXISTING overwrite a hidden or system file without "
                            "its attributes restated (Windows: 5)")
                            ? 0
                            : ERROR_ACCESS_DENIED;
  const DWORD H = FILE_ATTRIBUTE_HIDDEN, S = FILE_ATTRIBUTE_SYSTEM;
  const DWORD cases[][4] = {{H, CREATE_ALWAYS, 0, refused},
                            {S, TRUNCATE_EXISTING, 0, refused},
                            {H | S, CREATE_ALWAYS, H, refused},
                            {H, CREATE_ALWAYS, H, 0},
                            {H, OPEN_EXISTING, 0, 0}};
  Text path = InWork(TEXT("hidden0.txt"));
  for (const auto& [existing, disposition, asked, error] : cases) {
    ++path[path.size() - 5];  // a file of its own per row
    const Row row("attributes %lx, disposition %lu", existing, disposition);
    Close(expect(Create(path, W, 0, CREATE_NEW, existing), 0));
    Close(expect(Create(path, W, 0, disposition, asked), error));
  }
}

// A read-only file opens for reading only: write access is refused with
// ERROR_ACCESS_DENIED whatever the disposition, and the bytes stay.
CONFORMANCE_CASE(read_only_file_refuses_write_access) {
  const Text path = InWork(TEXT("readonly.bin"));
  MakeFile(path, "old");
  expect(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY), 0);
  // Wine keeps the attribute as the file's mode, which root passes by.
  HANDLE probe = OnWine() ? Create(path, W, SR, OPEN_EXISTING) : INVALID_HANDLE_VALUE;
  Close(probe);
  const DWORD refused = Succeeded(probe) && WineDiffers("a read-only file opens for writing, run as root (Windows: 5)")
                            ? 0
                            : ERROR_ACCESS_DENIED;
  const DWORD cases[][3] = {{R, OPEN_EXISTING, 0},
                            {W, OPEN_EXISTING, refused},
                            {R | W, OPEN_ALWAYS, refused},
                            {W, CREATE_ALWAYS, refused},
                            {W, TRUNCATE_EXISTING, refused}};
  for (const auto& [access, disposition, error] : cases) {
    const Row row("access %lx, disposition %lu", access, disposition);
    Close(expect(Create(path, access, SR, disposition), error));
  }
  ok(refused == 0 || Contents(path) == "old", "the read-only file lost its bytes");
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// A second handle must share what the first one does and grant what the
// first one uses; otherwise ERROR_SHARING_VIOLATION, both ways round.
CONFORMANCE_CASE(sharing_is_checked_both_ways) {
  const DWORD V = ERROR_SHARING_VIOLATION;
  const DWORD cases[][5] = {{R, SR, R, SR, 0},
                            {R, SR, W, SR, V},
                            {W, SR | SW, R, SR, V},
                            {R, SR | SW | SD, DELETE, SR | SW | SD, 0},
                            {R, SR | SW, DELETE, SR | SW | SD, V}};
  const Text path = InWork(TEXT("shared.txt"));
  MakeFile(path, "data");
  for (const auto& [access1, share1, access2, share2, error] : cases) {
    const Row row("access %lx share %lx, then access %lx share %lx", access1, share1, access2, share2);
    HANDLE first = expect(Create(path, access1, share1, OPEN_EXISTING), 0);
    Close(expect(Create(path, access2, share2, OPEN_EXISTING), error));
    Close(first);
  }
}

// Reads move one position; the end of the file is a successful read of 0
// bytes; a handle does only what it was opened for, and is invalid once
// closed.
CONFORMANCE_CASE(read_and_write_follow_the_handles_access) {
  const Text path = InWork(TEXT("data.bin"));
  MakeFile(path, "hello");
  HANDLE file = expect(Create(path, R, SR, OPEN_EXISTING), 0);
  char buffer[8];
  DWORD count = kPoison;
  expect(WriteFile(file, "x", 1, &count, nullptr), ERROR_ACCESS_DENIED);
  ok(count == 0, "count %lu after a refused write", count);
  for (const char* expected : {"he", "llo", ""}) {
    count = kPoison;
    expect(ReadFile(file, buffer, *expected == 'h' ? 2 : sizeof(buffer), &count, nullptr), 0);
    ok(count <= sizeof(buffer) && std::string(buffer, count) == expected, "read %lu bytes", count);
  }
  expect(CloseHandle(file), 0);
  expect(CloseHandle(file), ERROR_INVALID_HANDLE);
}

// What DeleteFileW refuses; a file deleted while a handle shares deletion
// stays, and cannot be opened again, until that handle closes.
CONFORMANCE_CASE(delete_file_refusals_and_pending_delete) {
  const Text readonly = InWork(TEXT("readonly.txt")), open = InWork(TEXT("open.txt")), pending = InWork(TEXT("p.txt"));
  for (const Text& path : {readonly, open, pending}) MakeFile(path, "x");
  expect(SetFileAttributesW(readonly.c_str(), FILE_ATTRIBUTE_READONLY), 0);
  HANDLE handles[] = {Create(open, R, SR | SW, OPEN_EXISTING), Create(pending, R, SR | SD, OPEN_EXISTING)};
  const std::pair<Text, DWORD> cases[] = {{readonly, ERROR_ACCESS_DENIED},
                                          {open, ERROR_SHARING_VIOLATION},  // open without FILE_SHARE_DELETE
                                          {pending, 0}};
  for (const auto& [path, error] : cases) {
    const Row row("%s", Narrow(path.c_str()).c_str());
    expect(DeleteFileW(path.c_str()), error);
  }
  Close(expect(Create(pending, R, SR | SW | SD, OPEN_EXISTING),
               WineDiffers("a delete-pending file can be opened again (Windows: 5)") ? 0 : ERROR_ACCESS_DENIED));
  for (HANDLE handle : handles) Close(handle);
  ok(GetFileAttributesW(pending.c_str()) == INVALID_FILE_ATTRIBUTES, "the deleted file stayed");
  SetFileAttributesW(readonly.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// A new file is ARCHIVE plus what was asked; FILE_ATTRIBUTE_NORMAL is
// reported only alone; missing names say whether the directory exists, and
// "name\" after a file's name names nothing.
CONFORMANCE_CASE(file_attributes) {
  const Text hidden = InWork(TEXT("hidden.txt")), normal = InWork(TEXT("normal.txt"));
  MakeFile(hidden, "h", FILE_ATTRIBUTE_HIDDEN);
  MakeFile(normal, "n");
  expect(SetFileAttributesW(normal.c_str(), FILE_ATTRIBUTE_NORMAL), 0);
  const bool archive = WineDiffers(
      "a file keeps FILE_ATTRIBUTE_ARCHIVE after SetFileAttributesW(FILE_ATTRIBUTE_NORMAL) (Windows: NORMAL)");
  const bool three = WineDiffers("GetFileAttributesW of \"file\\\" gives 3 (Windows: 123)");
  const DWORD A = FILE_ATTRIBUTE_ARCHIVE, none = INVALID_FILE_ATTRIBUTES;
  const std::tuple<Text, DWORD, DWORD> cases[] = {
      {hidden, FILE_ATTRIBUTE_HIDDEN | A, kPoison},
      {normal, archive ? A : FILE_ATTRIBUTE_NORMAL, kPoison},
      {WorkDirectory(), FILE_ATTRIBUTE_DIRECTORY, kPoison},
      {InWork(TEXT("missing.txt")), none, ERROR_FILE_NOT_FOUND},
      {InWork(TEXT("none\\missing.txt")), none, ERROR_PATH_NOT_FOUND},
      {normal + TEXT("\\"), none, three ? ERROR_PATH_NOT_FOUND : ERROR_INVALID_NAME}};
  for (const auto& [path, attributes, error] : cases) {
    const Row row("%s", Narrow(path.c_str()).c_str());
    PoisonError();
    const DWORD got = GetFileAttributesW(path.c_str()), last = GetLastError();
    ok(got == attributes && (error == kPoison || last == error), "attributes %lx, last error %lu", got, last);
  }
  SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// A rename now: the name moves, an existing target needs
// MOVEFILE_REPLACE_EXISTING, an open file without FILE_SHARE_DELETE stays.
CONFORMANCE_CASE(move_file_now) {
  const Text a = InWork(TEXT("a.txt")), b = InWork(TEXT("b.txt")), c = InWork(TEXT("c.txt")), d = InWork(TEXT("d.txt"));
  for (const Text& path : {a, b, d}) MakeFile(path, path == a ? "a" : "x");
  HANDLE open = Create(d, R, SR, OPEN_EXISTING);
  const std::tuple<const Text&, const Text&, DWORD, DWORD> cases[] = {{a, b, 0, ERROR_ALREADY_EXISTS},
                                                                      {a, c, 0, 0},
                                                                      {c, b, MOVEFILE_REPLACE_EXISTING, 0},
                                                                      {d, a, 0, ERROR_SHARING_VIOLATION}};
  for (const auto& [from, to, flags, error] : cases) {
    const Row row("%s to %s", Narrow(from.c_str()).c_str(), Narrow(to.c_str()).c_str());
    expect(MoveFileExW(from.c_str(), to.c_str(), flags), error);
  }
  CloseHandle(open);
  ok(Contents(a) == "<missing>" && Contents(b) == "a", "the files did not move");
}

// A delayed delete and rename are appended to PendingFileRenameOperations
// as "\\??\\path" pairs, the target "!"-marked when it may replace; the
// files stay as they are.
CONFORMANCE_CASE(move_file_delay_until_reboot_is_recorded) {
  HKEY key = nullptr;
  RegOpenKeyExW(HKEY_LOCAL_MACHINE, TEXT("SYSTEM\\CurrentControlSet\\Control\\Session Manager"), 0, KEY_ALL_ACCESS,
                &key);
  const WCHAR* name = TEXT("PendingFileRenameOperations");
  auto read = [&] {
    static WCHAR list[8192];
    DWORD size = sizeof(list);
    return RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(list), &size) ? Text()
                                                                                               : Text(list, size / 2);
  };
  const Text before = read(), old = InWork(TEXT("old.dll")), fresh = InWork(TEXT("new.dll"));
  MakeFile(old, "o");
  MakeFile(fresh, "n");
  const DWORD flags = MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING;
  expect(MoveFileExW(old.c_str(), nullptr, flags), 0);
  expect(MoveFileExW(fresh.c_str(), old.c_str(), flags), 0);
  const Text zero(1, 0),
      added = TEXT("\\??\\") + old + zero + zero + TEXT("\\??\\") + fresh + zero + TEXT("!\\??\\") + old + zero + zero;
  ok(read() == before.substr(0, before.empty() ? 0 : before.size() - 1) + added, "the recorded list");
  ok(Contents(old) == "o" && Contents(fresh) == "n", "a delayed move changed the files now");
  before.empty() ? RegDeleteValueW(key, name)
                 : RegSetValueExW(key, name, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(before.data()),
                                  static_cast<DWORD>(before.size() * 2));
  RegCloseKey(key);
}

// The program's own path, truncated to fit: the size returned and 122; an
// unknown module gives 126.
CONFORMANCE_CASE(module_file_name_truncation) {
  WCHAR full[MAX_PATH], part[8];
  const DWORD length = GetModuleFileNameW(nullptr, full, MAX_PATH);
  ok(length > 15 && SameText(full + length - 15, TEXT("conformance.exe"), true), "the program is %s",
     Narrow(full).c_str());
  const bool unterminated =
      WineDiffers("GetModuleFileNameW fills a short buffer without a terminator (Windows: ends it)");
  expect(GetModuleFileNameW(nullptr, part, 8) != 8, ERROR_INSUFFICIENT_BUFFER);  // the size, and 122
  ok(Text(part, 7) == Text(full, 7) && part[7] == (unterminated ? full[7] : 0), "the path's start is %s",
     Narrow(part, 8).c_str());
  expect(GetModuleFileNameW(reinterpret_cast<HMODULE>(0x12340000), full, MAX_PATH) != 0, ERROR_MOD_NOT_FOUND);
}
