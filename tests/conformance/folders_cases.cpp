// Folders and what a run log needs: the machine-wide application data
// folder, creating directories, listing them with wildcards, the local time,
// and UTF-16 to UTF-8 (and Windows-1252) conversion.
#include <shlobj.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "conformance.h"

using namespace conformance;

namespace {

using Text = std::basic_string<WCHAR>;

Text InWork(const Text& name) { return Text(WorkDirectory()) + TEXT("\\") + name; }

void MakeFile(const Text& path, const char* bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ok(file != INVALID_HANDLE_VALUE, "cannot create %s: %lu", Narrow(path.c_str()).c_str(), GetLastError());
  DWORD written = 0;
  WriteFile(file, bytes, static_cast<DWORD>(std::strlen(bytes)), &written, nullptr);
  Close(file);
}

// The names FindFirstFileW and FindNextFileW give for `pattern`, in their
// order, a directory's with a trailing backslash; the last error of the
// first call when it fails ("error N"), and each record checked on the way.
std::vector<std::string> List(const Text& pattern, DWORD* firstError = nullptr) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW found;
  Poison(found);
  PoisonError();
  HANDLE search = FindFirstFileW(pattern.c_str(), &found);
  if (firstError != nullptr) *firstError = search == INVALID_HANDLE_VALUE ? GetLastError() : 0;
  if (search == INVALID_HANDLE_VALUE) return names;
  for (;;) {
    const bool directory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    names.push_back(Narrow(found.cFileName) + (directory ? "\\" : ""));
    ok(found.ftLastWriteTime.dwHighDateTime != 0xCCCCCCCC && found.nFileSizeLow != 0xCCCCCCCC, "%s: record not filled",
       names.back().c_str());
    Poison(found);
    PoisonError();
    if (!FindNextFileW(search, &found)) break;
  }
  ok_error(ERROR_NO_MORE_FILES);
  expect(FindClose(search), 0);
  return names;
}

std::string Upper(std::string text) {
  for (char& c : text) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  return text;
}

std::string Joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : " ") + name;
  return text;
}

}  // namespace

// The folder exists on a fresh Windows (and prefix), as a directory; the
// CSIDL flags are taken off; an unknown CSIDL is E_INVALIDARG.
CONFORMANCE_CASE(common_app_data_folder) {
  WCHAR path[MAX_PATH];
  for (const int flags : {0, CSIDL_FLAG_CREATE, CSIDL_FLAG_DONT_VERIFY}) {
    const Row row("flags 0x%x", flags);
    Poison(path);
    const HRESULT hr = SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA | flags, nullptr, SHGFP_TYPE_CURRENT, path);
    ok(hr == S_OK, "result 0x%08lx", static_cast<unsigned long>(hr));
    ok(SameText(path, TEXT("C:\\ProgramData"), true), "path %s", Narrow(path).c_str());
    ok(GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES &&
           (GetFileAttributesW(path) & FILE_ATTRIBUTE_DIRECTORY) != 0,
       "not a directory");
  }
  Poison(path);
  const HRESULT hr = SHGetFolderPathW(nullptr, 0xFF, nullptr, SHGFP_TYPE_CURRENT, path);
  ok(hr == E_INVALIDARG, "unknown CSIDL: result 0x%08lx", static_cast<unsigned long>(hr));
  ok(path[0] == 0, "unknown CSIDL: the path is not emptied");
}

// Each outcome of CreateDirectoryW: a new one; 183 for a directory or a file
// of that name; 3 when the parent is missing; a trailing separator; the
// length left for an 8.3 name inside (MAX_PATH - 12) without "\\?\".
CONFORMANCE_CASE(create_directory_outcomes) {
  MakeFile(InWork(TEXT("file")), "x");
  const Text work = WorkDirectory();
  // Names that make full paths of 247 and 248 characters.
  const Text fits = InWork(Text(247 - work.size() - 1, 'd'));
  const Text tooLong = InWork(Text(248 - work.size() - 1, 'e'));
  const bool noDirectoryLimit =
      WineDiffers("directories of 248 to 259 characters are created without \"\\\\?\\\" (Windows: 206)");
  const bool rootExists = WineDiffers("the root of a drive gives 183 (Windows: 5)");
  const std::tuple<Text, DWORD> cases[] = {
      {InWork(TEXT("Logs")), 0},
      {InWork(TEXT("logs")), ERROR_ALREADY_EXISTS},
      {InWork(TEXT("file")), ERROR_ALREADY_EXISTS},
      {InWork(TEXT("none\\sub")), ERROR_PATH_NOT_FOUND},
      {InWork(TEXT("Logs\\sub\\")), 0},
      {InWork(TEXT("Logs\\sub\\..\\two")), 0},
      {fits, 0},
      {tooLong, noDirectoryLimit ? 0 : ERROR_FILENAME_EXCED_RANGE},
      {TEXT("\\\\?\\") + InWork(Text(250, 'f')), 0},
      {TEXT("C:\\"), rootExists ? ERROR_ALREADY_EXISTS : ERROR_ACCESS_DENIED},
  };
  for (const auto& [path, error] : cases) {
    const Row row("%s (%zu characters)", Narrow(path.c_str(), 40).c_str(), path.size());
    expect(CreateDirectoryW(path.c_str(), nullptr), error);
  }
  const DWORD two = GetFileAttributesW(InWork(TEXT("LOGS\\TWO")).c_str());
  ok(two != INVALID_FILE_ATTRIBUTES && (two & FILE_ATTRIBUTE_DIRECTORY), "Logs\\two: attributes 0x%lx", two);
}

// A folder lists "." and "..", then its files and directories by name
// compared upper-cased, as NTFS keeps them; sizes and directory bits as
// they are. Patterns match long names as Windows matches them.
CONFORMANCE_CASE(find_lists_a_folder_in_order) {
  const Text folder = InWork(TEXT("list"));
  expect(CreateDirectoryW(folder.c_str(), nullptr), 0);
  const char* files[] = {"vexinst64-20260105-090000-install.log",
                         "vexinst64-20260105-090000-install-2.log",
                         "VEXINST64-20260106-101500-uninstall.LOG",
                         "vexinst64-x.log.bak",
                         "b.txt",
                         "_a.log",
                         "Zeta.log",
                         "abc"};
  for (const char* name : files) {
    MakeFile(folder + TEXT("\\") + Text(name, name + std::strlen(name)), name);
  }
  expect(CreateDirectoryW((folder + TEXT("\\sub.log")).c_str(), nullptr), 0);
  const bool unsorted = WineDiffers("names come in the host file system's order, not sorted (Windows: NTFS's order)");
  const std::tuple<const WCHAR*, const char*> patterns[] = {
      {TEXT("*"),
       ".\\ ..\\ abc b.txt sub.log\\ vexinst64-20260105-090000-install-2.log vexinst64-20260105-090000-install.log "
       "VEXINST64-20260106-101500-uninstall.LOG vexinst64-x.log.bak Zeta.log _a.log"},
      {TEXT("vexinst64-*.log"),
       "vexinst64-20260105-090000-install-2.log vexinst64-20260105-090000-install.log "
       "VEXINST64-20260106-101500-uninstall.LOG"},
      {TEXT("*.log"),
       "sub.log\\ vexinst64-20260105-090000-install-2.log vexinst64-20260105-090000-install.log "
       "VEXINST64-20260106-101500-uninstall.LOG Zeta.log _a.log"},
      {TEXT("*.*"),
       ".\\ ..\\ abc b.txt sub.log\\ vexinst64-20260105-090000-install-2.log vexinst64-20260105-090000-install.log "
       "VEXINST64-20260106-101500-uninstall.LOG vexinst64-x.log.bak Zeta.log _a.log"},
      {TEXT("?.txt"), "b.txt"},
      {TEXT("ZETA.LOG"), "Zeta.log"},
  };
  for (const auto& [pattern, expected] : patterns) {
    const Row row("%s", Narrow(pattern).c_str());
    std::vector<std::string> names = List(folder + TEXT("\\") + pattern);
    if (unsorted) {
      // Wine also gives "." and ".." first; the rest is compared as a set.
      const std::size_t dots = names.size() >= 2 && names[0] == ".\\" && names[1] == "..\\" ? 2 : 0;
      std::sort(names.begin() + dots, names.end(),
                [](const std::string& a, const std::string& b) { return Upper(a) < Upper(b); });
    }
    ok(Joined(names) == expected, "listed: %s", Joined(names).c_str());
  }
  WIN32_FIND_DATAW found;
  Poison(found);
  HANDLE search = FindFirstFileW((folder + TEXT("\\b.txt")).c_str(), &found);
  ok(search != INVALID_HANDLE_VALUE && found.nFileSizeLow == 5 && found.nFileSizeHigh == 0 &&
         !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && found.ftLastWriteTime.dwHighDateTime != 0,
     "b.txt: size %lu, attributes 0x%lx", found.nFileSizeLow, found.dwFileAttributes);
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
}

// The failures: nothing matches in an existing folder (2), the folder is
// missing (3) or is a file (267), a name ending in a separator (2), a find
// handle that CloseHandle does not take and FindClose that takes nothing else.
CONFORMANCE_CASE(find_failures) {
  MakeFile(InWork(TEXT("plain.txt")), "x");
  const bool fileAsFolder = WineDiffers("a file named as the folder gives 123 (Windows: 267)");
  const std::tuple<Text, DWORD> cases[] = {
      {InWork(TEXT("vexinst64-*.log")), ERROR_FILE_NOT_FOUND},
      {InWork(TEXT("none\\*")), ERROR_PATH_NOT_FOUND},
      {InWork(TEXT("plain.txt\\*")), fileAsFolder ? ERROR_INVALID_NAME : ERROR_DIRECTORY},
      {InWork(TEXT("")), ERROR_FILE_NOT_FOUND},
  };
  for (const auto& [pattern, error] : cases) {
    const Row row("%s", Narrow(pattern.c_str()).c_str());
    DWORD got = 0;
    const std::vector<std::string> names = List(pattern, &got);
    ok(names.empty() && got == error, "listed %s, last error %lu", Joined(names).c_str(), got);
  }
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(InWork(TEXT("*")).c_str(), &found);
  ok(search != INVALID_HANDLE_VALUE, "no listing");
  expect(FindClose(INVALID_HANDLE_VALUE), ERROR_INVALID_HANDLE);
  expect(FindClose(search), 0);
}

// A listing resumes after the last name it gave: deleting that file (as a
// log cleanup does while it lists) skips nothing.
CONFORMANCE_CASE(find_resumes_after_a_deleted_entry) {
  const Text folder = InWork(TEXT("resume"));
  expect(CreateDirectoryW(folder.c_str(), nullptr), 0);
  for (const WCHAR* name : {TEXT("a.log"), TEXT("b.log"), TEXT("c.log"), TEXT("d.log")}) {
    MakeFile(folder + TEXT("\\") + name, "x");
  }
  std::vector<std::string> seen;
  WIN32_FIND_DATAW found;
  HANDLE search = expect(FindFirstFileW((folder + TEXT("\\*.log")).c_str(), &found), 0);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    seen.push_back(Narrow(found.cFileName));
    expect(DeleteFileW((folder + TEXT("\\") + found.cFileName).c_str()), 0);
  } while (FindNextFileW(search, &found));
  ok_error(ERROR_NO_MORE_FILES);
  FindClose(search);
  std::sort(seen.begin(), seen.end());
  ok(Joined(seen) == "a.log b.log c.log d.log", "seen %s", Joined(seen).c_str());
  DWORD error = 0;
  List(folder + TEXT("\\*.log"), &error);
  ok(error == ERROR_FILE_NOT_FOUND, "after deleting them all: last error %lu", error);
}

// Every field in range, the day of the week the date's own.
CONFORMANCE_CASE(local_time_fields) {
  SYSTEMTIME t;
  Poison(t);
  GetLocalTime(&t);
  ok(t.wYear >= 2000 && t.wYear < 3000 && t.wMonth >= 1 && t.wMonth <= 12 && t.wDay >= 1 && t.wDay <= 31 &&
         t.wHour < 24 && t.wMinute < 60 && t.wSecond < 60 && t.wMilliseconds < 1000,
     "%u-%u-%u %u:%u:%u.%u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
  // Sakamoto's method: 0 is Sunday, as wDayOfWeek counts.
  static const int offsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  const int y = t.wYear - (t.wMonth < 3);
  const int weekday = (y + y / 4 - y / 100 + y / 400 + offsets[(t.wMonth - 1) % 12] + t.wDay) % 7;
  ok(t.wDayOfWeek == weekday, "day of week %u, the date's is %d", t.wDayOfWeek, weekday);
  if (!OnWine()) {
    // winsim's default machine starts on Monday 2026-01-05 09:00:00 UTC, time zone UTC.
    ok(t.wYear == 2026 && t.wMonth == 1 && t.wDay == 5 && t.wHour == 9, "winsim's start: %u-%u-%u %u h", t.wYear,
       t.wMonth, t.wDay, t.wHour);
  }
}

// UTF-8: sizing and filling, the terminator with -1, a short buffer, half a
// surrogate pair (U+FFFD, or 1113 with WC_ERR_INVALID_CHARS), and the
// arguments UTF-8 refuses. Windows-1252: its own bytes, '?' for the rest.
CONFORMANCE_CASE(wide_char_to_multi_byte) {
  const WCHAR text[] = {'a', 0xE9, 0x20AC, 0xD83D, 0xDE00, '\r', '\n', 0};
  const char utf8[] = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\r\n";
  char out[32];
  Poison(out);
  expect(WideCharToMultiByte(CP_UTF8, 0, text, 7, nullptr, 0, nullptr, nullptr), 0);
  ok(WideCharToMultiByte(CP_UTF8, 0, text, 7, nullptr, 0, nullptr, nullptr) == 12, "size without terminator");
  ok(WideCharToMultiByte(CP_UTF8, 0, text, -1, out, sizeof out, nullptr, nullptr) == 13 &&
         std::memcmp(out, utf8, 13) == 0,
     "UTF-8 with the terminator");
  expect(WideCharToMultiByte(CP_UTF8, 0, text, 7, out, 11, nullptr, nullptr), ERROR_INSUFFICIENT_BUFFER);
  const WCHAR half[] = {'x', 0xD800, 'y'};
  ok(WideCharToMultiByte(CP_UTF8, 0, half, 3, out, sizeof out, nullptr, nullptr) == 5 &&
         std::memcmp(out, "x\xEF\xBF\xBDy", 5) == 0,
     "half a pair as U+FFFD");
  expect(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, half, 3, out, sizeof out, nullptr, nullptr),
         ERROR_NO_UNICODE_TRANSLATION);
  BOOL used = 7;
  const bool utf8Lenient =
      WineDiffers("UTF-8 takes lpUsedDefaultChar and flags other than WC_ERR_INVALID_CHARS (Windows: 87, 1004)");
  expect(WideCharToMultiByte(CP_UTF8, 0, text, 7, out, sizeof out, nullptr, &used),
         utf8Lenient ? 0 : ERROR_INVALID_PARAMETER);
  expect(WideCharToMultiByte(CP_UTF8, WC_NO_BEST_FIT_CHARS, text, 7, out, sizeof out, nullptr, nullptr),
         utf8Lenient ? 0 : ERROR_INVALID_FLAGS);
  expect(WideCharToMultiByte(CP_UTF8, 0, text, 0, out, sizeof out, nullptr, nullptr), ERROR_INVALID_PARAMETER);

  // Without WC_NO_BEST_FIT_CHARS Windows may write a look-alike (winsim
  // does not model those); with it, what the page lacks is '?'.
  const WCHAR western[] = {'a', 0xE9, 0x20AC, 0x3A9};
  used = 7;
  Poison(out);
  ok(WideCharToMultiByte(1252, WC_NO_BEST_FIT_CHARS, western, 4, out, sizeof out, nullptr, &used) == 4 &&
         std::memcmp(out, "a\xE9\x80?", 4) == 0 && used == TRUE,
     "Windows-1252: %02x %02x %02x %02x, used default %d", out[0] & 0xFF, out[1] & 0xFF, out[2] & 0xFF, out[3] & 0xFF,
     used);
  used = 7;
  ok(WideCharToMultiByte(1252, WC_NO_BEST_FIT_CHARS, western, 3, out, sizeof out, nullptr, &used) == 3 && used == FALSE,
     "no default needed: used %d", used);
}

// A handle open for writing flushes; one open only for reading is refused.
CONFORMANCE_CASE(flush_file_buffers) {
  const Text path = InWork(TEXT("flushed.log"));
  HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, 0, nullptr);
  DWORD written = 0;
  WriteFile(writer, "line\r\n", 6, &written, nullptr);
  expect(FlushFileBuffers(writer), 0);
  HANDLE reader =
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  expect(FlushFileBuffers(reader), ERROR_ACCESS_DENIED);
  Close(reader);
  Close(writer);
}
