// kernel32: files: open, read, write, close, delete, attributes, and the
// delayed move that Windows carries out at the next restart.
#include <windows.h>

#include "api.h"

using namespace winsim;

namespace {

// The granted rights of a handle, as the sharing rules read them.
DWORD Granted(DWORD access) {
  DWORD granted = 0;
  if (access & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA)) granted |= GENERIC_READ;
  if (access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA)) granted |= GENERIC_WRITE;
  if (access & (DELETE | GENERIC_ALL)) granted |= DELETE;
  return granted;
}

Handle* FindHandle(HANDLE handle) { return M().handles.Find(HandleValue(handle), HandleKind::File, M().caller); }

File* FileOf(const Handle& handle) {
  auto it = M().files.files.find(handle.object);
  return it == M().files.files.end() ? nullptr : &it->second;
}

// Checks a synchronous read or write: the handle, its access, the caller's
// pointers. Returns the file, or null with the last error set.
File* StartTransfer(HANDLE hFile, DWORD access, LPCVOID buffer, DWORD count, LPDWORD transferred,
                    LPOVERLAPPED overlapped, Handle*& handle) {
  if (transferred != nullptr) *transferred = 0;
  handle = FindHandle(hFile);
  if (handle == nullptr) {
    Fail(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (overlapped != nullptr || transferred == nullptr || (buffer == nullptr && count != 0)) {
    Fail(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (!(handle->access & access)) {
    Fail(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  File* file = FileOf(*handle);
  if (file == nullptr) Fail(ERROR_INVALID_HANDLE);
  return file;
}

// The full path of a caller's name, or false with the last error set. A
// name ending in a separator names a directory only: after a file's name
// it names nothing.
bool Resolve(LPCWSTR name, std::u16string& full) {
  DWORD error = ERROR_PATH_NOT_FOUND;
  const std::u16string text = FromWide(name);
  if (name == nullptr || !M().files.FullPath(text, full, error)) {
    Fail(error);
    return false;
  }
  const bool separatorLast = !text.empty() && (text.back() == u'\\' || text.back() == u'/');
  if (separatorLast && !M().files.IsDirectory(full)) {
    Fail(ERROR_INVALID_NAME);
    return false;
  }
  return true;
}

// Appends one delayed operation to PendingFileRenameOperations as Windows
// does: "\??\" and the full source path, then an empty string for a delete,
// or the full target with "\??\" (after a "!" when it may replace a file).
BOOL AddPendingRename(const std::u16string& source, const std::u16string* target, bool replace) {
  Registry& registry = M().registry;
  RegistryKey& key = registry.CreateKey(kSessionManagerKey);
  if (key.denied & KEY_SET_VALUE) {
    Fail(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  std::vector<BYTE> data;
  if (const RegistryValue* old = registry.FindValue(kSessionManagerKey, kPendingRenamesValue)) {
    if (old->type != REG_MULTI_SZ) {  // not a list Windows would append to
      Fail(ERROR_INVALID_DATA);
      return FALSE;
    }
    data = old->data;
    data.resize(data.size() & ~std::size_t{1});
    // Drop the final zero; it is written again after the new pair.
    if (data.size() >= 2 && data[data.size() - 1] == 0 && data[data.size() - 2] == 0) data.resize(data.size() - 2);
  }
  auto append = [&data](const std::u16string& text) {
    const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    data.insert(data.end(), bytes, bytes + (text.size() + 1) * sizeof(char16_t));
  };
  append(u"\\??\\" + source);
  append(target == nullptr ? std::u16string() : (replace ? u"!\\??\\" : u"\\??\\") + *target);
  append(std::u16string());
  registry.SetValue(kSessionManagerKey, kPendingRenamesValue, REG_MULTI_SZ, std::move(data));
  return TRUE;
}

}  // namespace

// Each call first takes FileSystem::createFileDelay of virtual time. On
// success the last error is ERROR_ALREADY_EXISTS when CREATE_ALWAYS or
// OPEN_ALWAYS met an existing file, else 0.
HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode, LPSECURITY_ATTRIBUTES,
                          DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes, HANDLE) {
  FileSystem& fs = M().files;
  if (fs.createFileDelay != 0 && CallerRuns()) M().Advance(fs.createFileDelay);
  WINSIM_FAULT(INVALID_HANDLE_VALUE);
  const DWORD access = Granted(dwDesiredAccess);
  const bool truncates = dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == TRUNCATE_EXISTING;
  if (dwCreationDisposition < CREATE_NEW || dwCreationDisposition > TRUNCATE_EXISTING ||
      (dwCreationDisposition == TRUNCATE_EXISTING && !(access & GENERIC_WRITE))) {
    Fail(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::u16string full;
  if (!Resolve(lpFileName, full)) return INVALID_HANDLE_VALUE;
  if (fs.IsDirectory(full)) {  // opening a directory needs FILE_FLAG_BACKUP_SEMANTICS: not modelled
    Fail(dwCreationDisposition == CREATE_NEW ? ERROR_FILE_EXISTS : ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  const std::u16string key = FoldCase(full);
  File* file = fs.Find(full);
  const bool existed = file != nullptr;
  if (!existed) {
    if (dwCreationDisposition == OPEN_EXISTING || dwCreationDisposition == TRUNCATE_EXISTING ||
        !fs.IsDirectory(ParentPath(full))) {
      Fail(fs.Missing(full));
      return INVALID_HANDLE_VALUE;
    }
    file = &fs.files[key];
    file->path = full;
    file->attributes = (dwFlagsAndAttributes & 0xFFFF & ~DWORD{FILE_ATTRIBUTE_NORMAL}) | FILE_ATTRIBUTE_ARCHIVE;
  } else {
    if (dwCreationDisposition == CREATE_NEW) {
      Fail(ERROR_FILE_EXISTS);
      return INVALID_HANDLE_VALUE;
    }
    const bool writes = (access & GENERIC_WRITE) || truncates;
    // Overwriting a hidden or system file must restate those attributes.
    const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    const bool dropsKept = truncates && (file->attributes & kept & ~dwFlagsAndAttributes) != 0;
    if (file->deletePending || dropsKept || (writes && (file->attributes & FILE_ATTRIBUTE_READONLY))) {
      Fail(ERROR_ACCESS_DENIED);
      return INVALID_HANDLE_VALUE;
    }
    const DWORD error = SharingError(M(), key, writes ? (access | GENERIC_WRITE) : access, dwShareMode);
    if (error != ERROR_SUCCESS) {
      Fail(error);
      return INVALID_HANDLE_VALUE;
    }
    if (truncates) {
      file->data.clear();
      file->version.reset();
      file->monitorPorts.reset();
      file->damagedAt.reset();
    }
  }
  HANDLE handle = NewCallerHandle<HANDLE>(HandleKind::File, key, access, 0, dwShareMode);
  const bool reportsExisting = dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS;
  SetLastError(existed && reportsExisting ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

// Synchronous only. At the end of the file it succeeds with 0 bytes. A read
// that reaches a damaged byte fails with ERROR_CRC and reads nothing.
BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                     LPOVERLAPPED lpOverlapped) {
  WINSIM_FAULT(FALSE);
  Handle* handle = nullptr;
  File* found =
      StartTransfer(hFile, GENERIC_READ, lpBuffer, nNumberOfBytesToRead, lpNumberOfBytesRead, lpOverlapped, handle);
  if (found == nullptr) return FALSE;
  File& file = *found;
  const std::uint64_t size = file.data.size();
  const std::uint64_t from = std::min(handle->position, size);
  const std::uint64_t count = std::min<std::uint64_t>(nNumberOfBytesToRead, size - from);
  if (file.damagedAt && *file.damagedAt >= from && *file.damagedAt < from + count) {
    Fail(ERROR_CRC);
    return FALSE;
  }
  if (count != 0) std::memcpy(lpBuffer, file.data.data() + from, static_cast<std::size_t>(count));
  handle->position = from + count;
  *lpNumberOfBytesRead = static_cast<DWORD>(count);
  return TRUE;
}

// Synchronous only. On a full disk the bytes that fit are written, the count
// says how many, and the call fails with ERROR_DISK_FULL.
BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
                      LPOVERLAPPED lpOverlapped) {
  WINSIM_FAULT(FALSE);
  Handle* handle = nullptr;
  File* found = StartTransfer(hFile, GENERIC_WRITE, lpBuffer, nNumberOfBytesToWrite, lpNumberOfBytesWritten,
                              lpOverlapped, handle);
  if (found == nullptr) return FALSE;
  FileSystem& fs = M().files;
  File& file = *found;
  const std::uint64_t size = file.data.size();
  const std::uint64_t at = handle->position;
  const std::uint64_t free = fs.FreeBytes();
  // Only growth takes space; writing over existing bytes always fits.
  std::uint64_t fits = nNumberOfBytesToWrite;
  if (at + fits > size && at + fits - size > free) fits = size + free > at ? size + free - at : 0;
  if (at + fits > size) file.data.resize(static_cast<std::size_t>(at + fits), 0);
  if (fits != 0) std::memcpy(file.data.data() + at, lpBuffer, static_cast<std::size_t>(fits));
  handle->position = at + fits;
  *lpNumberOfBytesWritten = static_cast<DWORD>(fits);
  if (fits != 0) fs.TakeIdentityFromSameBytes(file);
  if (fits < nNumberOfBytesToWrite) {
    Fail(ERROR_DISK_FULL);
    return FALSE;
  }
  return TRUE;
}

// Files, registry keys, mutexes, processes and threads; the handles of
// other APIs (services, printers, windows) are not kernel handles. A file
// deleted while open goes with its last handle.
BOOL WINAPI CloseHandle(HANDLE hObject) {
  WINSIM_FAULT(FALSE);
  Machine& machine = M();
  const std::uint64_t value = HandleValue(hObject);
  bool known = false;
  for (HandleKind kind :
       {HandleKind::File, HandleKind::Key, HandleKind::Mutex, HandleKind::Process, HandleKind::Thread}) {
    known = known || machine.handles.Find(value, kind, machine.caller) != nullptr;
  }
  if (!known) {
    Fail(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  CloseHandleEntry(machine, value);
  return TRUE;
}

// A directory, a read-only file or a loaded module gives ERROR_ACCESS_DENIED;
// a file open without FILE_SHARE_DELETE ERROR_SHARING_VIOLATION.
BOOL WINAPI DeleteFileW(LPCWSTR lpFileName) {
  WINSIM_FAULT(FALSE);
  std::u16string full;
  if (!Resolve(lpFileName, full)) return FALSE;
  const DWORD error = DeletePath(M(), full);
  if (error != ERROR_SUCCESS) {
    Fail(error);
    return FALSE;
  }
  return TRUE;
}

// FILE_ATTRIBUTE_NORMAL stands alone: a file without other attributes.
DWORD WINAPI GetFileAttributesW(LPCWSTR lpFileName) {
  WINSIM_FAULT(INVALID_FILE_ATTRIBUTES);
  std::u16string full;
  if (!Resolve(lpFileName, full)) return INVALID_FILE_ATTRIBUTES;
  FileSystem& fs = M().files;
  if (fs.IsDirectory(full)) return FILE_ATTRIBUTE_DIRECTORY;
  const File* file = fs.Find(full);
  if (file == nullptr) {
    Fail(fs.Missing(full));
    return INVALID_FILE_ATTRIBUTES;
  }
  if (file->deletePending) {
    Fail(ERROR_ACCESS_DENIED);
    return INVALID_FILE_ATTRIBUTES;
  }
  return file->attributes == 0 ? FILE_ATTRIBUTE_NORMAL : file->attributes;
}

// Sets a file's attributes; FILE_ATTRIBUTE_NORMAL alone clears them.
// Directories' attributes are not modelled: they are refused.
BOOL WINAPI SetFileAttributesW(LPCWSTR lpFileName, DWORD dwFileAttributes) {
  WINSIM_FAULT(FALSE);
  std::u16string full;
  if (!Resolve(lpFileName, full)) return FALSE;
  FileSystem& fs = M().files;
  File* file = fs.Find(full);
  if (file == nullptr) {
    Fail(fs.IsDirectory(full) ? ERROR_ACCESS_DENIED : fs.Missing(full));
    return FALSE;
  }
  if (file->deletePending) {
    Fail(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  const DWORD settable =
      FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
  file->attributes = dwFileAttributes & settable;
  return TRUE;
}

// With MOVEFILE_DELAY_UNTIL_REBOOT nothing is checked but the names: the
// operation is recorded for the restart (a NULL new name deletes), also for
// a path that does not exist. Otherwise a file is renamed now.
BOOL WINAPI MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, DWORD dwFlags) {
  WINSIM_FAULT(FALSE);
  std::u16string source;
  if (!Resolve(lpExistingFileName, source)) return FALSE;
  const bool replace = (dwFlags & MOVEFILE_REPLACE_EXISTING) != 0;
  if (dwFlags & MOVEFILE_DELAY_UNTIL_REBOOT) {
    if (dwFlags & MOVEFILE_COPY_ALLOWED) {
      Fail(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    if (lpNewFileName == nullptr) return AddPendingRename(source, nullptr, false);
    std::u16string target;
    if (!Resolve(lpNewFileName, target)) return FALSE;
    return AddPendingRename(source, &target, replace);
  }
  if (lpNewFileName == nullptr) {
    Fail(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::u16string target;
  if (!Resolve(lpNewFileName, target)) return FALSE;
  const DWORD error = MovePath(M(), source, target, replace);
  if (error != ERROR_SUCCESS) {
    Fail(error);
    return FALSE;
  }
  return TRUE;
}
