// kernel32: the last error and message texts, heaps, code pages, time,
// files, processes, mutexes and waits; one section each.
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <winsim/ansi_code_page.h>
#include <winsim/system_messages.h>

#include "api.h"

using namespace winsim;

// ============================================================================
// kernel32: the thread's last error and the system's message texts.

DWORD WINAPI GetLastError() { return M().lastError; }

void WINAPI SetLastError(DWORD dwErrCode) { M().lastError = dwErrCode; }

// Only system texts are modelled. With FORMAT_MESSAGE_ALLOCATE_BUFFER,
// lpBuffer is really an LPWSTR* that receives a LocalAlloc block. An unknown
// code gives 0 and ERROR_MR_MID_NOT_FOUND. Texts end in CR LF, as Windows'.
DWORD WINAPI FormatMessageW(DWORD dwFlags, LPCVOID, DWORD dwMessageId, DWORD dwLanguageId, LPWSTR lpBuffer, DWORD nSize,
                            va_list*) {
  WINSIM_FAULT(0);
  if (!(dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) || lpBuffer == nullptr) {
    Fail(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (dwLanguageId != 0 && dwLanguageId != MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)) {
    Fail(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return 0;
  }
  const char* text = SystemMessageText(dwMessageId);
  if (text == nullptr) {
    Fail(ERROR_MR_MID_NOT_FOUND);
    return 0;
  }
  std::u16string message = Widen(text) + u"\r\n";
  const DWORD length = static_cast<DWORD>(message.size());
  if (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    SIZE_T bytes = (std::max<SIZE_T>(length + 1, nSize)) * sizeof(WCHAR);
    auto* block = static_cast<LPWSTR>(AllocateLocal(LMEM_FIXED, bytes));
    if (block == nullptr) return 0;
    std::memcpy(block, message.c_str(), (length + 1) * sizeof(WCHAR));
    *reinterpret_cast<LPWSTR*>(lpBuffer) = block;
    return length;
  }
  if (nSize < length + 1) {
    Fail(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(lpBuffer, message.c_str(), (length + 1) * sizeof(WCHAR));
  return length;
}

// ============================================================================
// kernel32: the global and local heaps. Every live block is recorded so a
// test can assert that a run released what it took.

namespace {

void* Allocate(std::map<void*, std::size_t>& blocks, UINT flags, SIZE_T bytes) {
  if (flags & GMEM_MOVEABLE) {  // the installer only ever takes fixed blocks
    Fail(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  void* block = std::malloc(bytes == 0 ? 1 : bytes);
  if (block == nullptr) {
    Fail(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  // Windows gives no promise about the contents; a pattern makes reliance on
  // zeros visible.
  std::memset(block, (flags & GMEM_ZEROINIT) ? 0 : 0xCD, bytes);
  blocks[block] = bytes;
  return block;
}

void* Release(std::map<void*, std::size_t>& blocks, void* block) {
  if (block == nullptr) return nullptr;
  auto it = blocks.find(block);
  if (it == blocks.end()) {
    Fail(ERROR_INVALID_HANDLE);
    return block;
  }
  blocks.erase(it);
  std::free(block);
  return nullptr;
}

}  // namespace

HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes) {
  WINSIM_FAULT(nullptr);
  return Allocate(M().memory.globalBlocks, uFlags, dwBytes);
}

HGLOBAL WINAPI GlobalFree(HGLOBAL hMem) { return Release(M().memory.globalBlocks, hMem); }

HLOCAL winsim::AllocateLocal(UINT flags, SIZE_T bytes) { return Allocate(M().memory.localBlocks, flags, bytes); }

HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes) {
  WINSIM_FAULT(nullptr);
  return AllocateLocal(uFlags, uBytes);
}

HLOCAL WINAPI LocalFree(HLOCAL hMem) { return Release(M().memory.localBlocks, hMem); }

// ============================================================================
// kernel32: code-page conversion. The ANSI code page of the simulated machine
// is Windows-1252.

// cbMultiByte -1 converts up to and including the terminator; cchWideChar 0
// asks for the number of characters needed.
int WINAPI MultiByteToWideChar(UINT CodePage, DWORD, LPCSTR lpMultiByteStr, int cbMultiByte, LPWSTR lpWideCharStr,
                               int cchWideChar) {
  WINSIM_FAULT(0);
  if (lpMultiByteStr == nullptr || cbMultiByte == 0 || cchWideChar < 0 ||
      (cchWideChar > 0 && lpWideCharStr == nullptr)) {
    Fail(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (CodePage != CP_ACP && CodePage != 1252) {
    Fail(ERROR_INVALID_PARAMETER);  // only the machine's ANSI page is modelled
    return 0;
  }
  const std::size_t count = cbMultiByte < 0 ? std::strlen(lpMultiByteStr) + 1 : static_cast<std::size_t>(cbMultiByte);
  if (cchWideChar == 0) return static_cast<int>(count);
  if (static_cast<std::size_t>(cchWideChar) < count) {
    Fail(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  for (std::size_t i = 0; i < count; ++i) {
    lpWideCharStr[i] = FromAnsi(static_cast<unsigned char>(lpMultiByteStr[i]));
  }
  return static_cast<int>(count);
}

namespace {

// The UTF-8 bytes of `text`, or the error: half a surrogate pair is U+FFFD,
// or ERROR_NO_UNICODE_TRANSLATION with WC_ERR_INVALID_CHARS.
DWORD Utf8Bytes(const std::u16string& text, DWORD flags, std::string& bytes) {
  if ((flags & ~DWORD{WC_ERR_INVALID_CHARS}) != 0) return ERROR_INVALID_FLAGS;
  for (std::size_t i = 0; (flags & WC_ERR_INVALID_CHARS) && i < text.size(); ++i) {
    const char16_t c = text[i];
    const bool paired =
        c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000;
    if (paired) {
      ++i;
    } else if (c >= 0xD800 && c < 0xE000) {
      return ERROR_NO_UNICODE_TRANSLATION;
    }
  }
  bytes = Narrow(text);
  return ERROR_SUCCESS;
}

// The Windows-1252 bytes of `text`, `fallback` for what the page lacks.
DWORD AnsiBytes(const std::u16string& text, DWORD flags, char fallback, std::string& bytes, bool& usedDefault) {
  // WC_COMPOSITECHECK, WC_DISCARDNS, WC_SEPCHARS, WC_DEFAULTCHAR, WC_NO_BEST_FIT_CHARS.
  if ((flags & ~DWORD{0x670}) != 0) return ERROR_INVALID_FLAGS;
  usedDefault = false;
  for (const char16_t c : text) {
    const char b = ToAnsi(c);
    const bool lacking = b == '?' && c != u'?';
    usedDefault = usedDefault || lacking;
    bytes.push_back(lacking ? fallback : b);
  }
  return ERROR_SUCCESS;
}

}  // namespace

// CP_UTF8 takes no default character and no flag but WC_ERR_INVALID_CHARS
// (ERROR_INVALID_FLAGS, ERROR_INVALID_PARAMETER); half a surrogate pair
// becomes U+FFFD, or with that flag fails with ERROR_NO_UNICODE_TRANSLATION.
// The ANSI page writes '?' (or the default character given) for what it
// lacks and says so in *lpUsedDefaultChar; Windows' best-fit look-alikes
// are not modelled. cchWideChar -1 converts up to and including the
// terminator; cbMultiByte 0 asks for the bytes needed. A buffer too small
// fails with ERROR_INSUFFICIENT_BUFFER, holding as much as fitted.
int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar, LPBOOL lpUsedDefaultChar) {
  WINSIM_FAULT(0);
  if (lpWideCharStr == nullptr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 ||
      (cbMultiByte > 0 && lpMultiByteStr == nullptr) ||
      (cbMultiByte > 0 && static_cast<const void*>(lpWideCharStr) == static_cast<const void*>(lpMultiByteStr))) {
    Fail(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const std::size_t count = cchWideChar < 0 ? WideLen(lpWideCharStr) + 1 : static_cast<std::size_t>(cchWideChar);
  const std::u16string text(lpWideCharStr, count);
  std::string bytes;
  DWORD error = ERROR_INVALID_PARAMETER;  // only UTF-8 and the machine's ANSI page are modelled
  if (CodePage == CP_UTF8) {
    error = Utf8Bytes(text, dwFlags, bytes);
    if (error == ERROR_SUCCESS && (lpDefaultChar != nullptr || lpUsedDefaultChar != nullptr)) {
      error = ERROR_INVALID_PARAMETER;
    }
  } else if (CodePage == CP_ACP || CodePage == 1252) {
    bool usedDefault = false;
    error = AnsiBytes(text, dwFlags, lpDefaultChar != nullptr ? *lpDefaultChar : '?', bytes, usedDefault);
    if (error == ERROR_SUCCESS && lpUsedDefaultChar != nullptr) *lpUsedDefaultChar = usedDefault ? TRUE : FALSE;
  }
  if (error != ERROR_SUCCESS) {
    Fail(error);
    return 0;
  }
  if (cbMultiByte == 0) return static_cast<int>(bytes.size());
  const std::size_t fits = std::min(bytes.size(), static_cast<std::size_t>(cbMultiByte));
  std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(fits), lpMultiByteStr);
  if (fits < bytes.size()) {
    Fail(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  return static_cast<int>(bytes.size());
}

// ============================================================================
// kernel32: time on the machine's virtual clock.

void WINAPI Sleep(DWORD dwMilliseconds) {
  if (CallerRuns()) M().Advance(dwMilliseconds);
}

DWORD WINAPI GetTickCount() {
  const Clock& clock = M().clock;
  return static_cast<DWORD>(clock.tickBase + clock.now);
}

// The machine's start (UTC) plus the clock, shifted by the machine's time
// zone (UTC = local + bias). It cannot fail; a null pointer is not written.
void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime) {
  if (!CallerRuns() || lpSystemTime == nullptr) return;
  const Clock& clock = M().clock;
  const CivilTime t = CivilFromMilliseconds(LocalMilliseconds(clock, clock.now));
  lpSystemTime->wYear = static_cast<WORD>(t.year);
  lpSystemTime->wMonth = static_cast<WORD>(t.month);
  lpSystemTime->wDayOfWeek = static_cast<WORD>(t.dayOfWeek);
  lpSystemTime->wDay = static_cast<WORD>(t.day);
  lpSystemTime->wHour = static_cast<WORD>(t.hour);
  lpSystemTime->wMinute = static_cast<WORD>(t.minute);
  lpSystemTime->wSecond = static_cast<WORD>(t.second);
  lpSystemTime->wMilliseconds = static_cast<WORD>(t.millisecond);
}

// ============================================================================
// kernel32: files: open, read, write, close, delete, attributes, and the
// delayed move that Windows carries out at the next restart.

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
    file->written = M().clock.now;
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
      file->written = M().clock.now;
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
  if (fits != 0) {
    fs.TakeIdentityFromSameBytes(file);
    file.written = M().clock.now;
  }
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
  return Succeeded(DeletePath(M(), full));
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
  return Succeeded(MovePath(M(), source, target, replace));
}

// Writes are not buffered in the model: a handle open for writing succeeds,
// one without write access gets ERROR_ACCESS_DENIED.
BOOL WINAPI FlushFileBuffers(HANDLE hFile) {
  WINSIM_FAULT(FALSE);
  const Handle* handle = FindHandle(hFile);
  if (handle == nullptr) {
    Fail(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!(handle->access & GENERIC_WRITE)) {
    Fail(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return TRUE;
}

// ============================================================================
// kernel32: directories: creating one, and listing one through a find handle.

namespace {

// Windows leaves room for an 8.3 name inside a new directory: without
// "\\?\" its path must stay under MAX_PATH - 12 characters.
constexpr std::size_t kMaxDirectoryPath = MAX_PATH - 12;

}  // namespace

// One directory; its parent must exist (ERROR_PATH_NOT_FOUND). A file or a
// directory of that name gives ERROR_ALREADY_EXISTS; a drive's root
// ERROR_ACCESS_DENIED. Security attributes are not modelled.
BOOL WINAPI CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES) {
  WINSIM_FAULT(FALSE);
  FileSystem& fs = M().files;
  std::u16string full;
  DWORD error = ERROR_PATH_NOT_FOUND;
  const std::u16string text = FromWide(lpPathName);
  if (lpPathName == nullptr || !fs.FullPath(text, full, error)) {
    Fail(error);
    return FALSE;
  }
  const bool verbatim = text.compare(0, 4, u"\\\\?\\") == 0;
  if (!verbatim && full.size() >= kMaxDirectoryPath) {
    Fail(ERROR_FILENAME_EXCED_RANGE);
    return FALSE;
  }
  if (ParentPath(full) == full) {
    Fail(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (fs.IsDirectory(full) || fs.Find(full) != nullptr) {
    Fail(ERROR_ALREADY_EXISTS);
    return FALSE;
  }
  if (!fs.IsDirectory(ParentPath(full))) {
    Fail(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  fs.AddDirectory(full);
  return TRUE;
}

namespace {

// A find handle's state, kept in its handle's object (see Handle).
struct FindState {
  std::u16string directory;  // folded full path
  std::u16string pattern;
  std::u16string last;  // folded name of the last entry given; empty before the first
};

std::u16string FindObject(const FindState& state) {
  return state.directory + u"\\" + state.pattern + u"\\" + state.last;
}

FindState FindStateOf(const std::u16string& object) {
  FindState state;
  const std::size_t lastCut = object.find_last_of(u'\\');
  const std::size_t patternCut = object.find_last_of(u'\\', lastCut - 1);
  state.last = object.substr(lastCut + 1);
  state.pattern = object.substr(patternCut + 1, lastCut - patternCut - 1);
  state.directory = object.substr(0, patternCut);
  return state;
}

// Fills the caller's record for one entry; a directory has no size and
// carries the machine's start as its times.
void FillFindData(const std::u16string& name, const File* file, LPWIN32_FIND_DATAW data) {
  const Clock& clock = M().clock;
  const std::uint64_t time = FileTimeOf(clock, file != nullptr ? file->written : 0);
  FILETIME stamp;
  stamp.dwLowDateTime = static_cast<DWORD>(time);
  stamp.dwHighDateTime = static_cast<DWORD>(time >> 32);
  std::memset(data, 0, sizeof(*data));
  if (file == nullptr) {
    data->dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
  } else {
    data->dwFileAttributes = file->attributes == 0 ? FILE_ATTRIBUTE_NORMAL : file->attributes;
    const std::uint64_t size = file->data.size();
    data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(size);
  }
  data->ftCreationTime = stamp;
  data->ftLastAccessTime = stamp;
  data->ftLastWriteTime = stamp;
  const std::size_t length = std::min<std::size_t>(name.size(), MAX_PATH - 1);
  std::memcpy(data->cFileName, name.data(), length * sizeof(WCHAR));
}

// The next entry after `state.last` that matches its pattern: "." and ".."
// first in a folder that is not a root, then the entries in NTFS's order.
// Later calls pick up after the last name given, as NTFS resumes a
// listing, so entries deleted or added meanwhile shift nothing.
bool NextFindEntry(FindState& state, LPWIN32_FIND_DATAW data) {
  FileSystem& fs = M().files;
  const bool root = ParentPath(state.directory) == state.directory;
  std::vector<DirectoryEntry> dots;
  if (!root && (state.last.empty() || state.last == u".")) {
    if (state.last.empty()) dots.push_back(DirectoryEntry{u".", nullptr});
    dots.push_back(DirectoryEntry{u"..", nullptr});
  }
  for (const DirectoryEntry& dot : dots) {
    state.last = dot.name;
    if (MatchesWildcard(state.pattern, dot.name)) {
      FillFindData(dot.name, nullptr, data);
      return true;
    }
  }
  const bool fromStart = state.last.empty() || state.last == u"." || state.last == u"..";
  std::u16string after = fromStart ? std::u16string() : state.last;
  for (auto entry = NextDirectoryEntry(fs, state.directory, after); entry;
       entry = NextDirectoryEntry(fs, state.directory, after)) {
    after = FoldCase(entry->name);
    if (!MatchesWildcard(state.pattern, entry->name)) continue;
    state.last = after;
    FillFindData(entry->name, entry->file, data);
    return true;
  }
  return false;
}

}  // namespace

// Lists the folder of `lpFileName` whose names match its last part (see
// MatchesWildcard). A missing folder gives ERROR_PATH_NOT_FOUND, a file in
// its place ERROR_DIRECTORY; no match in an existing folder, or a name
// ending in a separator, ERROR_FILE_NOT_FOUND.
HANDLE WINAPI FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData) {
  WINSIM_FAULT(INVALID_HANDLE_VALUE);
  FileSystem& fs = M().files;
  if (lpFindFileData == nullptr) {
    Fail(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  const std::u16string text = FromWide(lpFileName);
  const std::size_t cut = text.find_last_of(u"\\/");
  std::u16string folder;
  std::u16string pattern;
  if (cut != std::u16string::npos) {
    folder = text.substr(0, cut + 1);
    pattern = text.substr(cut + 1);
  } else if (text.size() >= 2 && text[1] == u':') {
    folder = text.substr(0, 2);
    pattern = text.substr(2);
  } else {
    folder = fs.currentDirectory;
    pattern = text;
  }
  std::u16string directory;
  DWORD error = ERROR_PATH_NOT_FOUND;
  if (lpFileName == nullptr || !fs.FullPath(folder, directory, error)) {
    Fail(error);
    return INVALID_HANDLE_VALUE;
  }
  if (pattern.empty()) {
    Fail(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  for (const char16_t c : pattern) {
    if (c < 0x20 || c == u'<' || c == u'>' || c == u':' || c == u'"' || c == u'|') {
      Fail(ERROR_INVALID_NAME);
      return INVALID_HANDLE_VALUE;
    }
  }
  const bool verbatim = text.compare(0, 4, u"\\\\?\\") == 0;
  if (!verbatim && directory.size() + 1 + pattern.size() >= MAX_PATH) {
    Fail(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  if (!fs.IsDirectory(directory)) {
    Fail(fs.Find(directory) != nullptr ? ERROR_DIRECTORY : ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  FindState state{FoldCase(directory), pattern, std::u16string()};
  if (!NextFindEntry(state, lpFindFileData)) {
    Fail(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  return NewCallerHandle<HANDLE>(HandleKind::Find, FindObject(state), 0);
}

// ERROR_NO_MORE_FILES after the last match; the record is then untouched.
BOOL WINAPI FindNextFileW(HANDLE hFindFile, LPWIN32_FIND_DATAW lpFindFileData) {
  WINSIM_FAULT(FALSE);
  Handle* handle = CallerHandle(hFindFile, HandleKind::Find);
  if (handle == nullptr) return FALSE;
  if (lpFindFileData == nullptr) {
    Fail(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  FindState state = FindStateOf(handle->object);
  if (!NextFindEntry(state, lpFindFileData)) {
    Fail(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  handle->object = FindObject(state);
  return TRUE;
}

// Only a find handle; CloseHandle does not take one.
BOOL WINAPI FindClose(HANDLE hFindFile) {
  WINSIM_FAULT(FALSE);
  if (CallerHandle(hFindFile, HandleKind::Find) == nullptr) return FALSE;
  CloseHandleEntry(M(), HandleValue(hFindFile));
  return TRUE;
}

// ============================================================================
// kernel32: the process's command line, module path, system directory and
// exit; starting other processes and asking after them; the Windows version.

namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

// The file a program name given on a command line names, or empty. Without
// an extension ".exe" is appended; a bare name is looked for where Windows
// looks: the caller's own directory, the current directory, the system
// directory, then the Windows directory.
std::u16string SearchProgram(const std::u16string& name) {
  Machine& machine = M();
  std::u16string file = name;
  const std::size_t slash = file.find_last_of(u"\\/");
  if (file.find(u'.', slash == std::u16string::npos ? 0 : slash) == std::u16string::npos) file += u".exe";
  std::vector<std::u16string> candidates;
  if (slash == std::u16string::npos) {
    candidates.push_back(ParentPath(machine.Caller().image) + u"\\" + file);
    candidates.push_back(file);
    candidates.push_back(machine.systemDirectory + u"\\" + file);
    candidates.push_back(ParentPath(machine.systemDirectory) + u"\\" + file);
  } else {
    candidates.push_back(file);
  }
  for (const std::u16string& candidate : candidates) {
    std::u16string full;
    DWORD error = 0;
    if (machine.files.FullPath(candidate, full, error) && machine.files.Find(full) != nullptr) return full;
  }
  return std::u16string();
}

// The program a command line starts, as Windows reads it: a quoted name up
// to its closing quote; unquoted, the shortest run of words that names a
// file ("C:\Program Files\x.exe" tries "C:\Program" first).
std::u16string ProgramOfCommandLine(const std::u16string& line) {
  if (!line.empty() && line[0] == u'"') {
    const std::size_t close = line.find(u'"', 1);
    return SearchProgram(line.substr(1, close == std::u16string::npos ? std::u16string::npos : close - 1));
  }
  for (std::size_t end = 0; end <= line.size(); ++end) {
    if (end != line.size() && !IsBlank(line[end])) continue;
    if (end == 0) return std::u16string();
    std::u16string found = SearchProgram(line.substr(0, end));
    if (!found.empty()) return found;
  }
  return std::u16string();
}

HANDLE ProcessHandle(HandleKind kind, DWORD target) {
  // Both rights are 0x1FFFFF since Vista; each kind still names its own.
  // NOLINTNEXTLINE(bugprone-branch-clone)
  const DWORD access = kind == HandleKind::Process ? PROCESS_ALL_ACCESS : THREAD_ALL_ACCESS;
  return NewCallerHandle<HANDLE>(kind, std::u16string(), access, target);
}

// The process a handle of the caller names, or null with ERROR_INVALID_HANDLE set.
Process* CallerProcess(HANDLE hProcess) {
  const Handle* handle = CallerHandle(hProcess, HandleKind::Process);
  return handle != nullptr ? &M().processes.at(handle->target) : nullptr;
}

}  // namespace

// The process's own copy of its command line, in its memory as on Windows:
// the program may write into it without changing the machine.
LPWSTR WINAPI GetCommandLineW() {
  Machine& machine = M();
  const std::u16string& line = machine.Caller().commandLine;
  auto& copy = machine.memory.commandLines[machine.caller];
  copy.assign(line.begin(), line.end());
  copy.push_back(0);
  return reinterpret_cast<LPWSTR>(copy.data());
}

// Copies the path, truncated to nSize - 1 characters plus the terminator
// when it does not fit; then returns nSize and sets ERROR_INSUFFICIENT_BUFFER.
DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
  WINSIM_FAULT(0);
  if (hModule != nullptr && hModule != ProgramInstance()) {
    Fail(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  const std::u16string& path = M().Caller().image;
  if (nSize == 0) {
    Fail(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (path.size() < nSize) {
    std::memcpy(lpFilename, path.c_str(), (path.size() + 1) * sizeof(WCHAR));
    return static_cast<DWORD>(path.size());
  }
  std::memcpy(lpFilename, path.data(), (nSize - 1) * sizeof(WCHAR));
  lpFilename[nSize - 1] = 0;
  Fail(ERROR_INSUFFICIENT_BUFFER);
  return nSize;
}

// Returns the length without the terminator, or the size needed with it
// when the buffer is too small (nothing copied then).
UINT WINAPI GetSystemDirectoryW(LPWSTR lpBuffer, UINT uSize) {
  WINSIM_FAULT(0);
  const std::u16string& dir = M().systemDirectory;
  if (lpBuffer == nullptr || uSize <= dir.size()) return static_cast<UINT>(dir.size() + 1);
  std::memcpy(lpBuffer, dir.c_str(), (dir.size() + 1) * sizeof(WCHAR));
  return static_cast<UINT>(dir.size());
}

// The process ends here: the system closes its handles and abandons the
// mutexes it owns, and none of its code runs again.
void WINAPI ExitProcess(UINT uExitCode) {
  if (CallerRuns()) EndProcess(M(), M().caller, uExitCode);
  LeaveProcess(uExitCode);
}

// The new process is a program of the machine, behaving as its profile for
// that file name says. An application name is taken as it is (a missing
// directory gives ERROR_PATH_NOT_FOUND); a name read from the command line
// is searched for, and ERROR_FILE_NOT_FOUND is all a miss reports.
BOOL WINAPI CreateProcessW(LPCWSTR lpApplicationName, LPWSTR lpCommandLine, LPSECURITY_ATTRIBUTES,
                           LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCWSTR, LPSTARTUPINFOW lpStartupInfo,
                           LPPROCESS_INFORMATION lpProcessInformation) {
  WINSIM_FAULT(FALSE);
  Machine& machine = M();
  if ((lpApplicationName == nullptr && lpCommandLine == nullptr) || lpStartupInfo == nullptr ||
      lpProcessInformation == nullptr) {
    Fail(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::u16string image;
  if (lpApplicationName != nullptr) {
    DWORD error = ERROR_PATH_NOT_FOUND;
    if (!machine.files.FullPath(FromWide(lpApplicationName), image, error)) {
      Fail(error);
      return FALSE;
    }
    if (machine.files.Find(image) == nullptr) {
      Fail(machine.files.IsDirectory(image) ? ERROR_ACCESS_DENIED : machine.files.Missing(image));
      return FALSE;
    }
  } else {
    image = ProgramOfCommandLine(FromWide(lpCommandLine));
    if (image.empty()) {
      Fail(ERROR_FILE_NOT_FOUND);
      return FALSE;
    }
  }
  const std::u16string commandLine = FromWide(lpCommandLine != nullptr ? lpCommandLine : lpApplicationName);
  const DWORD id = StartProcess(machine, ProgramKind::Program, image, commandLine);
  lpProcessInformation->hProcess = ProcessHandle(HandleKind::Process, id);
  lpProcessInformation->hThread = ProcessHandle(HandleKind::Thread, id);
  lpProcessInformation->dwProcessId = id;
  lpProcessInformation->dwThreadId = MainThreadId(id);
  return TRUE;
}

// STILL_ACTIVE while the process runs.
BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode) {
  WINSIM_FAULT(FALSE);
  const Process* process = CallerProcess(hProcess);
  if (process == nullptr) return FALSE;
  if (lpExitCode == nullptr) {
    Fail(ERROR_NOACCESS);
    return FALSE;
  }
  *lpExitCode = process->exitCode;
  return TRUE;
}

// The process ends where it stands: the mutexes it owns are abandoned. A
// process that has already ended cannot be terminated (ERROR_ACCESS_DENIED).
BOOL WINAPI TerminateProcess(HANDLE hProcess, UINT uExitCode) {
  WINSIM_FAULT(FALSE);
  Machine& machine = M();
  const Process* process = CallerProcess(hProcess);
  if (process == nullptr) return FALSE;
  const DWORD target = process->id;
  if (!process->running) {
    Fail(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  EndProcess(machine, target, uExitCode);
  if (target == machine.caller) LeaveProcess(uExitCode);
  return TRUE;
}

// Only the two structure sizes are accepted (ERROR_INSUFFICIENT_BUFFER for
// any other, nothing written); the basic one is filled no further than its
// size.
BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation) {
  WINSIM_FAULT(FALSE);
  if (lpVersionInformation == nullptr) {
    Fail(ERROR_NOACCESS);
    return FALSE;
  }
  const DWORD size = lpVersionInformation->dwOSVersionInfoSize;
  if (size != sizeof(OSVERSIONINFOA) && size != sizeof(OSVERSIONINFOEXA)) {
    Fail(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  const WindowsVersion& version = M().version;
  lpVersionInformation->dwMajorVersion = version.major;
  lpVersionInformation->dwMinorVersion = version.minor;
  lpVersionInformation->dwBuildNumber = version.build;
  lpVersionInformation->dwPlatformId = version.platform;
  std::memset(lpVersionInformation->szCSDVersion, 0, sizeof(lpVersionInformation->szCSDVersion));  // no service pack
  if (size == sizeof(OSVERSIONINFOEXA)) {
    auto* ex = reinterpret_cast<LPOSVERSIONINFOEXA>(lpVersionInformation);
    ex->wServicePackMajor = 0;
    ex->wServicePackMinor = 0;
    ex->wSuiteMask = VER_SUITE_SINGLEUSERTS;
    ex->wProductType = VER_NT_WORKSTATION;
    ex->wReserved = 0;
  }
  return TRUE;
}

// ============================================================================
// kernel32: mutexes and waits. A wait moves the virtual clock on, so what
// other processes do meanwhile (a program quitting and releasing its mutex)
// happens while the caller waits.

namespace {

// Names live in the session's namespace: "Local\" names the same object as
// the bare name, "Global\" another one; any other backslash names an object
// directory that does not exist.
bool MutexKey(const std::u16string& name, std::u16string& key) {
  static const std::u16string local = u"Local\\";
  static const std::u16string global = u"Global\\";
  key = name.compare(0, local.size(), local) == 0 ? name.substr(local.size()) : name;
  const std::size_t rest = key.compare(0, global.size(), global) == 0 ? global.size() : 0;
  if (key.find(u'\\', rest) != std::u16string::npos) {
    Fail(ERROR_PATH_NOT_FOUND);
    return false;
  }
  return true;
}

// An unnamed mutex gets a key no program can name: names with a backslash
// other than the namespace prefix are refused above.
std::u16string UnnamedMutexKey(std::uint64_t handle) { return u"\\Unnamed\\" + Widen(std::to_string(handle)); }

HANDLE CreateMutexNamed(BOOL initialOwner, const std::u16string& name) {
  Machine& machine = M();
  std::u16string key;
  if (name.empty()) {
    key = UnnamedMutexKey(machine.handles.next);
  } else if (!MutexKey(name, key)) {
    return nullptr;
  }
  const bool exists = machine.mutexes.count(key) != 0;
  const HANDLE handle = NewCallerHandle<HANDLE>(HandleKind::Mutex, key, MUTEX_ALL_ACCESS);
  if (exists) {
    // The existing object, whoever owns it; bInitialOwner is ignored.
    Fail(ERROR_ALREADY_EXISTS);
  } else {
    // cppcheck-suppress variableScope ; operator[] creates the mutex, owned or not
    Mutex& mutex = machine.mutexes[key];
    if (initialOwner) {
      mutex.owner = machine.caller;
      mutex.recursion = 1;
    }
    Fail(ERROR_SUCCESS);
  }
  return handle;
}

// Runs the clock until `done` holds or `ms` have passed. A wait without end
// that nothing pending can ever satisfy hangs the program: the user ends it,
// as with a dialog no action closes.
template <typename Done>
bool WaitUntil(DWORD ms, Done done) {
  Machine& machine = M();
  if (ms != INFINITE) return machine.AdvanceUntil(ms, done);
  while (!done()) {
    const auto next = machine.NextEventTime(UINT64_MAX);
    if (!next) {
      EndProcess(machine, machine.caller, 1);
      LeaveProcess(1);
    }
    machine.Advance(*next - machine.clock.now);
  }
  return true;
}

DWORD WaitForMutex(std::u16string key, DWORD ms) {
  Machine& machine = M();
  const DWORD caller = machine.caller;
  // The caller's handle keeps the mutex alive while it waits; `key` is a
  // copy, as handles of other processes may close meanwhile.
  auto available = [&machine, &key, caller] {
    const Mutex& mutex = machine.mutexes.at(key);
    return mutex.owner == 0 || mutex.owner == caller;
  };
  if (!WaitUntil(ms, available)) return WAIT_TIMEOUT;
  Mutex& mutex = machine.mutexes.at(key);
  mutex.owner = caller;
  ++mutex.recursion;
  if (mutex.abandoned) {
    // Reported once, to the wait that takes it over.
    mutex.abandoned = false;
    return WAIT_ABANDONED;
  }
  return WAIT_OBJECT_0;
}

// A process and its thread are signalled when the process ends.
DWORD WaitForProcess(DWORD id, DWORD ms) {
  Machine& machine = M();
  auto ended = [&machine, id] {
    const Process* process = machine.FindProcess(id);
    return process == nullptr || !process->running;
  };
  return WaitUntil(ms, ended) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

HANDLE OpenMutexNamed(DWORD access, const std::u16string& name) {
  Machine& machine = M();
  std::u16string key;
  if (name.empty()) {
    Fail(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (!MutexKey(name, key)) return nullptr;
  if (machine.mutexes.count(key) == 0) {
    Fail(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  return NewCallerHandle<HANDLE>(HandleKind::Mutex, key, access);
}

}  // namespace

// A name that exists already, from any process, gives a new handle to that
// mutex with ERROR_ALREADY_EXISTS; otherwise the last error is cleared.
HANDLE WINAPI CreateMutexW(LPSECURITY_ATTRIBUTES, BOOL bInitialOwner, LPCWSTR lpName) {
  WINSIM_FAULT(nullptr);
  return CreateMutexNamed(bInitialOwner, FromWide(lpName));
}

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL bInitialOwner, LPCSTR lpName) {
  WINSIM_FAULT(nullptr);
  return CreateMutexNamed(bInitialOwner, FromAnsi(lpName));
}

// A new handle to an existing named mutex; ERROR_FILE_NOT_FOUND when there
// is none. Access rights are not checked.
HANDLE WINAPI OpenMutexW(DWORD dwDesiredAccess, BOOL, LPCWSTR lpName) {
  WINSIM_FAULT(nullptr);
  return OpenMutexNamed(dwDesiredAccess, FromWide(lpName));
}

HANDLE WINAPI OpenMutexA(DWORD dwDesiredAccess, BOOL, LPCSTR lpName) {
  WINSIM_FAULT(nullptr);
  return OpenMutexNamed(dwDesiredAccess, FromAnsi(lpName));
}

// Ownership belongs to the thread, not to the handle: any handle of the
// owning process releases it, each release undoing one wait.
BOOL WINAPI ReleaseMutex(HANDLE hMutex) {
  WINSIM_FAULT(FALSE);
  Machine& machine = M();
  const Handle* handle = CallerHandle(hMutex, HandleKind::Mutex);
  if (handle == nullptr) return FALSE;
  Mutex& mutex = machine.mutexes.at(handle->object);
  if (mutex.owner != machine.caller) {
    Fail(ERROR_NOT_OWNER);
    return FALSE;
  }
  if (--mutex.recursion == 0) mutex.owner = 0;
  return TRUE;
}

// Mutexes and processes are the objects modelled as waitable; a file is
// always signalled; other handles are no kernel objects to wait on.
DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  WINSIM_FAULT(WAIT_FAILED);
  Machine& machine = M();
  const std::uint64_t value = HandleValue(hHandle);
  if (const Handle* mutex = machine.handles.Find(value, HandleKind::Mutex, machine.caller)) {
    return WaitForMutex(mutex->object, dwMilliseconds);
  }
  for (HandleKind kind : {HandleKind::Process, HandleKind::Thread}) {
    if (const Handle* process = machine.handles.Find(value, kind, machine.caller)) {
      return WaitForProcess(process->target, dwMilliseconds);
    }
  }
  if (machine.handles.Find(value, HandleKind::File, machine.caller) != nullptr) return WAIT_OBJECT_0;
  Fail(ERROR_INVALID_HANDLE);
  return WAIT_FAILED;
}
