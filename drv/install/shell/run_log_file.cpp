#include "run_log_file.h"

#include <shlobj.h>

#include "exit_codes.h"
#include "log_format.h"
#include "product.h"
#include "wide_text.h"

namespace {

template <SIZE_T Size>
constexpr SIZE_T LengthOf(const WCHAR (&)[Size]) {
  return Size - 1;
}

constexpr SIZE_T kPrefixLength = LengthOf(RunLogFilePrefix);
constexpr SIZE_T kExtensionLength = LengthOf(RunLogFileExtension);
constexpr SIZE_T kStampLength = 15;  // YYYYMMDD-HHMMSS
constexpr SIZE_T kLongestWord = 16;
constexpr SIZE_T kLongestNumber = 4;  // -2 ... -9999
constexpr SIZE_T kLongestName = kPrefixLength + kStampLength + 1 + kLongestWord + 1 + kLongestNumber + kExtensionLength;
static_assert(RunLogNamesPerSecond <= 9999, "a second run's number must fit the names that are pruned");

// Entries looked at in one listing of the folder, so a folder that keeps
// growing while it is listed cannot hold the run.
constexpr DWORD kMostEntriesListed = 100000;

bool IsDigit(WCHAR c) { return c >= '0' && c <= '9'; }
bool IsWordChar(WCHAR c) { return (c >= 'a' && c <= 'z') || c == '_'; }

// A path of at most MAX_PATH - 1 characters, as the calls without the
// "\\?\" prefix take it, built piece by piece. A piece that does not fit
// spoils the path, and a spoiled path is never used.
class PathText {
 public:
  bool Append(WCHAR c) {
    if (!fits_ || length_ + 1 >= MAX_PATH) {
      fits_ = false;
      return false;
    }
    text_[length_++] = c;
    text_[length_] = 0;
    return true;
  }
  bool Append(LPCWSTR text) {
    for (; *text != 0; ++text) {
      if (!Append(*text)) return false;
    }
    return fits_;
  }
  // `value` in decimal, padded with zeros to `digits` (at most 15).
  bool AppendNumber(DWORD value, SIZE_T digits) {
    WCHAR text[16] = {};
    SIZE_T at = 15;  // the terminator stays
    do {
      text[--at] = static_cast<WCHAR>('0' + value % 10);
      value /= 10;
    } while (at > 0 && (value != 0 || 15 - at < digits));
    return Append(text + at);
  }
  bool EndsWith(WCHAR c) const { return length_ > 0 && text_[length_ - 1] == c; }
  bool Fits() const { return fits_; }
  LPCWSTR Get() const { return text_; }

 private:
  WCHAR text_[MAX_PATH] = {};
  SIZE_T length_ = 0;
  bool fits_ = true;
};

// A folder there, or made now; a file in its way fails later, when a file
// is opened in it.
bool MakeFolder(const PathText& path) {
  return path.Fits() && (CreateDirectoryW(path.Get(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
}

// The word as a file name may hold it; the installer's command words all are.
bool IsSafeWord(LPCWSTR word) {
  const SIZE_T length = WideLength(word);
  if (length == 0 || length > kLongestWord) return false;
  for (SIZE_T i = 0; i < length; ++i) {
    if (!IsWordChar(word[i])) return false;
  }
  return true;
}

// vexinst64-YYYYMMDD-HHMMSS-WORD.log, with "-N" before the extension for
// the Nth run of the same second.
bool AppendLogName(PathText& path, const SYSTEMTIME& time, LPCWSTR word, DWORD number) {
  path.Append(RunLogFilePrefix);
  path.AppendNumber(time.wYear, 4);
  path.AppendNumber(time.wMonth, 2);
  path.AppendNumber(time.wDay, 2);
  path.Append('-');
  path.AppendNumber(time.wHour, 2);
  path.AppendNumber(time.wMinute, 2);
  path.AppendNumber(time.wSecond, 2);
  path.Append('-');
  path.Append(word);
  if (number > 1) {
    path.Append('-');
    path.AppendNumber(number, 1);
  }
  return path.Append(RunLogFileExtension);
}

// Reads a name KeepRunLogFile gives, exactly: its own prefix, case and
// extension, eight and six digits, a command word, a number from 2 without
// leading zeros. `number` is 1 for the second's first run.
bool ParseLogName(LPCWSTR name, DWORD& number) {
  for (SIZE_T i = 0; i < kPrefixLength; ++i) {
    if (name[i] != RunLogFilePrefix[i]) return false;
  }
  LPCWSTR p = name + kPrefixLength;
  for (SIZE_T i = 0; i < kStampLength; ++i) {
    const bool dash = i == 8;
    if (dash ? p[i] != '-' : !IsDigit(p[i])) return false;
  }
  p += kStampLength;
  if (*p++ != '-') return false;
  SIZE_T wordLength = 0;
  while (IsWordChar(p[wordLength])) ++wordLength;
  if (wordLength == 0 || wordLength > kLongestWord) return false;
  p += wordLength;
  number = 1;
  if (*p == '-') {
    ++p;
    if (!IsDigit(*p) || *p == '0') return false;
    DWORD value = 0;
    SIZE_T digits = 0;
    for (; IsDigit(*p) && digits < kLongestNumber; ++p, ++digits) value = value * 10 + (*p - '0');
    if (value < 2) return false;
    number = value;
  }
  for (SIZE_T i = 0; i < kExtensionLength; ++i) {
    if (p[i] != RunLogFileExtension[i]) return false;
  }
  return p[kExtensionLength] == 0;
}

struct LogName {
  WCHAR Text[kLongestName + 1];
  DWORD Number;
};

int Compare(LPCWSTR a, LPCWSTR b, SIZE_T most) {
  for (SIZE_T i = 0; i < most; ++i) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    if (a[i] == 0) break;
  }
  return 0;
}

// Written before: by its second, then by its run in that second, then by
// name, so the order is total.
bool Older(const LogName& a, const LogName& b) {
  const int stamp = Compare(a.Text + kPrefixLength, b.Text + kPrefixLength, kStampLength);
  if (stamp != 0) return stamp < 0;
  if (a.Number != b.Number) return a.Number < b.Number;
  return Compare(a.Text, b.Text, kLongestName + 1) < 0;
}

// Calls `visit` with each log file of the folder whose name is ours.
// Windows also matches the pattern against 8.3 short names, so every long
// name is checked whole.
template <typename Visit>
void ForEachLogFile(const PathText& folder, Visit visit) {
  PathText pattern = folder;
  pattern.Append(RunLogFilePrefix);
  pattern.Append('*');
  if (!pattern.Append(RunLogFileExtension)) return;
  WIN32_FIND_DATAW found = {};
  const HANDLE search = FindFirstFileW(pattern.Get(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  DWORD listed = 0;
  do {
    LogName name = {};
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || !ParseLogName(found.cFileName, name.Number)) {
      continue;
    }
    for (SIZE_T i = 0; found.cFileName[i] != 0; ++i) name.Text[i] = found.cFileName[i];
    visit(name);
  } while (++listed < kMostEntriesListed && FindNextFileW(search, &found));
  FindClose(search);
}

// Keeps the newest RunLogFilesKept log files, `written` (this run's, or
// null) always among them: were the names of one second used up and freed
// again, a run's name could sort before older ones. One listing finds the
// oldest of those to keep, a second deletes every log file older than it.
void PruneLogFiles(const PathText& folder, LPCWSTR written) {
  const DWORD most = written != nullptr ? RunLogFilesKept - 1 : RunLogFilesKept;
  LogName newest[RunLogFilesKept];  // newest first
  DWORD kept = 0;
  DWORD total = 0;
  ForEachLogFile(folder, [&](const LogName& name) {
    if (WideEqual(name.Text, written)) return;
    ++total;
    if (kept == most && !Older(newest[kept - 1], name)) return;
    DWORD at = kept < most ? kept++ : kept - 1;
    for (; at > 0 && Older(newest[at - 1], name); --at) newest[at] = newest[at - 1];
    newest[at] = name;
  });
  if (total <= most) return;
  const LogName& oldestKept = newest[most - 1];
  ForEachLogFile(folder, [&](const LogName& name) {
    if (!Older(name, oldestKept) || WideEqual(name.Text, written)) return;
    PathText path = folder;
    if (path.Append(name.Text)) DeleteFileW(path.Get());
  });
}

// Writes `count` UTF-16 units of `text` to `file` as UTF-8, a piece at a
// time, so a long log needs no copy of its own (a piece never ends inside a
// surrogate pair). False when any piece fails.
bool WriteUtf8(HANDLE file, LPCWSTR text, SIZE_T count) {
  constexpr SIZE_T kPieceChars = 4096;
  CHAR bytes[kPieceChars * 3];  // UTF-8 takes at most three bytes per UTF-16 unit
  while (count > 0) {
    SIZE_T piece = count;
    if (piece > kPieceChars) {
      piece = kPieceChars;
      if (text[piece - 1] >= 0xD800 && text[piece - 1] <= 0xDBFF) --piece;  // keep the pair together
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(piece), bytes,
                                         static_cast<int>(sizeof(bytes)), nullptr, nullptr);
    DWORD written = 0;
    if (size <= 0 || !WriteFile(file, bytes, static_cast<DWORD>(size), &written, nullptr) ||
        written != static_cast<DWORD>(size)) {
      return false;
    }
    text += piece;
    count -= piece;
  }
  return true;
}

// The log, then the line with the exit code and its meaning.
bool WriteContents(HANDLE file, const TextBuffer& log, int exitCode) {
  WCHAR line[128];
  const SIZE_T lineChars = AppendFormat(line, sizeof(line) / sizeof(line[0]), 0, TEXT("exit code: %d (%s)\r\n"),
                                        exitCode, ExitCodeMeaningOf(exitCode));
  return WriteUtf8(file, TextString(log), static_cast<SIZE_T>(TextLength(log))) && WriteUtf8(file, line, lineChars);
}

// A new file named for this second (the next free number when runs share
// it) holding the log and its exit code whole, its name in `name`; nothing
// when it cannot be written whole.
bool WriteNewLogFile(const PathText& folder, LPCWSTR word, const TextBuffer& log, int exitCode, PathText& name) {
  SYSTEMTIME now = {};
  GetLocalTime(&now);
  for (DWORD number = 1; number <= RunLogNamesPerSecond; ++number) {
    PathText path = folder;
    name = PathText();
    if (!AppendLogName(name, now, word, number) || !path.Append(name.Get())) return false;
    const HANDLE file = CreateFileW(path.Get(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_FILE_EXISTS) continue;
      return false;
    }
    const bool whole = WriteContents(file, log, exitCode);
    const bool closed = CloseHandle(file) != FALSE;
    if (whole && closed) return true;
    // A cut log would pass for the whole account of the run.
    DeleteFileW(path.Get());
    return false;
  }
  return false;
}

}  // namespace

bool KeepRunLogFileIn(LPCWSTR dataFolder, const TextBuffer& log, LPCWSTR word, int exitCode) {
  if (!IsSafeWord(word) || WideLength(dataFolder) == 0) return false;
  PathText folder;
  folder.Append(dataFolder);
  if (!folder.EndsWith('\\')) folder.Append('\\');
  folder.Append(ProductDataFolder);
  if (!MakeFolder(folder)) return false;
  folder.Append('\\');
  folder.Append(RunLogFolder);
  if (!MakeFolder(folder)) return false;
  if (!folder.Append('\\')) return false;

  PathText name;
  const bool kept = WriteNewLogFile(folder, word, log, exitCode, name);
  PruneLogFiles(folder, kept ? name.Get() : nullptr);
  return kept;
}

void KeepRunLogFile(const TextBuffer& log, LPCWSTR word, int exitCode) {
  WCHAR dataFolder[MAX_PATH] = {};
  if (SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, dataFolder) != S_OK) return;
  KeepRunLogFileIn(dataFolder, log, word, exitCode);
}
