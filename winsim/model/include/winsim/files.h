// Files and directories of the simulated machine: one volume, paths like
// "C:\Windows\System32\x.dll" compared without regard to case, the handles
// the program holds, and files that other processes hold.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <windows.h>

namespace winsim {

struct Machine;

struct FileVersion {
  WORD major = 0, minor = 0, build = 0, revision = 0;  // a.b.c.d
};

struct File {
  std::u16string path;  // full path, original case
  std::vector<std::uint8_t> data;
  std::optional<FileVersion> version;  // product version resource, if any
  DWORD attributes = FILE_ATTRIBUTE_ARCHIVE;
  // When it was created or last written, on the virtual clock (milliseconds);
  // Windows' three file times are all this one.
  std::uint64_t written = 0;
  // A damaged sector: a read that reaches this byte fails with ERROR_CRC.
  std::optional<std::uint64_t> damagedAt;
  // Deleted while open with FILE_SHARE_DELETE: gone when the last handle closes.
  bool deletePending = false;
  // A port monitor module (it exports InitializePrintMonitor2): the ports it
  // provides once the spooler loads it. Absent for any other file.
  std::optional<std::vector<std::u16string>> monitorPorts;
};

// A file held by a process other than the caller, for as long as that
// process runs (or until the hold's own end). Writers get
// ERROR_SHARING_VIOLATION; deleters get `error`: ERROR_SHARING_VIOLATION for
// a file held open, or ERROR_ACCESS_DENIED for a loaded module (which can
// still be renamed).
struct FileHold {
  int id = 0;
  std::u16string key;  // FoldCase of the full path
  DWORD error = ERROR_SHARING_VIOLATION;
  DWORD process = 0;  // the holder
};

struct FileSystem {
  std::map<std::u16string, File> files;                        // FoldCase(full path) -> file
  std::map<std::u16string, std::u16string> dirs;               // FoldCase(full path) -> path
  std::u16string currentDirectory = u"C:\\Windows\\system32";  // where relative paths lead
  std::uint64_t diskCapacity = std::uint64_t{64} << 30;        // bytes, for all files together
  DWORD createFileDelay = 0;                                   // virtual milliseconds each CreateFileW call takes
  std::vector<FileHold> holds;
  int nextHoldId = 1;

  // The full path Windows makes of `path` (relative to the current
  // directory, "/" as "\", "." and ".." resolved; "\\?\" and "\??\" taken as
  // they are), or false with the error a file call gives for it. The model's
  // own lookups take full paths of any length.
  bool FullPath(const std::u16string& path, std::u16string& full, DWORD& error, bool limitLength = true) const;

  File* Find(const std::u16string& path);
  File& Put(const std::u16string& path, std::vector<std::uint8_t> data = {},
            std::optional<FileVersion> version = std::nullopt);
  void AddDirectory(const std::u16string& path);
  // Also true for the root of a drive that holds anything (C: always).
  bool IsDirectory(const std::u16string& path) const;

  std::uint64_t UsedBytes() const;
  std::uint64_t FreeBytes() const;
  // Leaves exactly `bytes` free for what is written from now on.
  void SetFreeBytes(std::uint64_t bytes);

  // ERROR_FILE_NOT_FOUND, or ERROR_PATH_NOT_FOUND when the directory is missing too.
  DWORD Missing(const std::u16string& full) const;
  // The version resource and a monitor's exports are part of the bytes: a
  // file written to hold the same bytes as one that has them has them too.
  void TakeIdentityFromSameBytes(File& file);
};

// The rules the API layer applies, over the files, the open handles and the
// holds of every process; each gives 0 or the error Windows gives.
// The hold another process has on the file `key`: an explicit hold, or a
// module that the running spooler has loaded. Null when there is none.
std::optional<FileHold> FindHold(const Machine& machine, const std::u16string& key);
bool IsOpen(const Machine& machine, const std::u16string& key);
// Opening the file `key` with `access` and `share`, against the open
// handles and other processes' holds.
DWORD SharingError(const Machine& machine, const std::u16string& key, DWORD access, DWORD share);
DWORD DeletePath(Machine& machine, const std::u16string& path);
DWORD MovePath(Machine& machine, const std::u16string& from, const std::u16string& to, bool replace);

// The directory a full path lies in ("C:\a\b" -> "C:\a"; a root is its own).
std::u16string ParentPath(const std::u16string& full);

// One name in a directory: a file, or a directory when `file` is null.
struct DirectoryEntry {
  std::u16string name;  // original case
  const File* file = nullptr;
};
// The entries of the directory `full` in the order NTFS lists them: by
// name, compared upper-cased ("." and ".." are not entries).
std::vector<DirectoryEntry> ListDirectory(const FileSystem& files, const std::u16string& full);
// The entry of `full` that follows the one whose folded name is `after`
// (empty: the first) in that order, found without listing the directory.
std::optional<DirectoryEntry> NextDirectoryEntry(const FileSystem& files, const std::u16string& full,
                                                 const std::u16string& after);
// Whether a long file name matches a FindFirstFileW pattern, as Windows
// matches it: without regard to case; "*.*" is "*"; "?" matches one
// character, or none at a period or the end of the name; "*" before a
// period matches up to the name's last period; a period before a
// wildcard or at the end also matches the end of the name. 8.3 short names
// are not modelled, so "*.log" does not match "a.log1" through "A~1.LOG".
bool MatchesWildcard(const std::u16string& pattern, const std::u16string& name);

// Holds an existing file from another process (see FileHold): the running
// spooler's when `untilSpoolerStops` (so the hold ends when the spooler
// stops), else the system's (it ends at restart); and until the virtual
// clock reaches `until`, if given. Returns the hold's id, or 0 when there is
// no such file or no spooler to hold it.
int LockFile(Machine& machine, const std::u16string& path, DWORD error = ERROR_SHARING_VIOLATION,
             bool untilSpoolerStops = false, std::optional<std::uint64_t> until = std::nullopt);
void UnlockFile(Machine& machine, int id);

// Carries out "PendingFileRenameOperations" in order and removes the value,
// as Windows' session manager does at boot.
void RunPendingRenames(Machine& machine);

// The registry value MoveFileExW keeps its delayed operations in.
inline const char16_t kSessionManagerKey[] = u"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";
inline const char16_t kPendingRenamesValue[] = u"PendingFileRenameOperations";

}  // namespace winsim
