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
  // A damaged sector: a read that reaches this byte fails with ERROR_CRC.
  std::optional<std::uint64_t> damagedAt;
  // Deleted while open with FILE_SHARE_DELETE: gone when the last handle closes.
  bool deletePending = false;
};

// A handle of the program's own on a file.
struct OpenFile {
  std::u16string key;  // FoldCase of the full path
  DWORD access = 0;    // GENERIC_READ, GENERIC_WRITE, DELETE as granted
  DWORD share = 0;     // FILE_SHARE_* as asked
  std::uint64_t position = 0;
};

// A file held by another process. Writers get ERROR_SHARING_VIOLATION;
// deleters get `error`: ERROR_SHARING_VIOLATION for a file held open, or
// ERROR_ACCESS_DENIED for a loaded module (which can still be renamed).
struct FileLock {
  int id = 0;
  std::u16string key;  // FoldCase of the full path
  DWORD error = ERROR_SHARING_VIOLATION;
};

struct FileSystem {
  std::map<std::u16string, File> files;                        // FoldCase(full path) -> file
  std::map<std::u16string, std::u16string> dirs;               // FoldCase(full path) -> path
  std::u16string currentDirectory = u"C:\\Windows\\system32";  // where relative paths lead
  std::uint64_t diskCapacity = std::uint64_t{64} << 30;        // bytes, for all files together
  DWORD createFileDelay = 0;                                   // virtual milliseconds each CreateFileW call takes
  std::map<HANDLE, OpenFile> handles;
  std::uintptr_t nextHandle = 0x104;
  std::vector<FileLock> locks;
  int nextLockId = 1;

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

  // Another process's holds, by the id LockFile returned.
  void Unlock(int id);
  const FileLock* FindLock(const std::u16string& key) const;
  bool IsOpen(const std::u16string& path) const;

  // The rules the API layer applies; each gives 0 or the error Windows gives.
  // Opening the file `key` with `access` and `share`, against the program's
  // other handles and other processes' holds.
  DWORD SharingError(const std::u16string& key, DWORD access, DWORD share) const;
  // ERROR_FILE_NOT_FOUND, or ERROR_PATH_NOT_FOUND when the directory is missing too.
  DWORD Missing(const std::u16string& full) const;
  DWORD Delete(const std::u16string& path);
  DWORD Move(const std::u16string& from, const std::u16string& to, bool replace);
  // The version resource is part of the bytes: a file written to hold the
  // same bytes as one that has a version resource has that version too.
  void TakeVersionFromSameBytes(File& file);
};

// The directory a full path lies in ("C:\a\b" -> "C:\a"; a root is its own).
std::u16string ParentPath(const std::u16string& full);

// Holds an existing file from another process (see FileLock) until
// UnlockFile, until the spooler next reaches the stopped state, or until the
// virtual clock reaches `until`, whichever comes first. Returns the lock's
// id, or 0 when there is no such file.
int LockFile(Machine& machine, const std::u16string& path, DWORD error = ERROR_SHARING_VIOLATION,
             bool untilSpoolerStops = false, std::optional<std::uint64_t> until = std::nullopt);

// A restart: every process ends (the program's handles and registry keys
// are closed, other processes' holds released), then Windows carries out
// "PendingFileRenameOperations" in order and removes the value.
void Restart(Machine& machine);

// The registry value MoveFileExW keeps its delayed operations in.
inline const char16_t kSessionManagerKey[] = u"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";
inline const char16_t kPendingRenamesValue[] = u"PendingFileRenameOperations";

}  // namespace winsim
