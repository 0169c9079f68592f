#include "driver_file_copy.h"

#include "../shell/run_log.h"
#include "../shell/text_buffer.h"
#include "../shell/wide_text.h"

namespace {

constexpr DWORD kCopyBlockBytes = 8192;
constexpr int kOpenAttempts = 100;
constexpr DWORD kOpenRetryDelayMs = 50;
constexpr DWORD kOpenTimeoutMs = 10000;

LPCWSTR OrEmpty(LPCWSTR text) { return text != nullptr ? text : TEXT(""); }

// directory, a backslash unless it is empty or ends in one, then the name.
void BuildPath(TextBuffer& path, LPCWSTR directory, LPCWSTR name) {
  TextAssign(path, directory);
  const ULONGLONG length = TextLength(path);
  if (length > 0 && TextString(path)[length - 1] != '\\') TextAppend(path, TEXT("\\"));
  TextAppend(path, name);
}

// Moves the bytes; false after writing error 8 for a failed read or a
// short write.
bool CopyContents(InstallContext& context, HANDLE source, HANDLE destination, LPCWSTR destinationPath) {
  BYTE block[kCopyBlockBytes];
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(source, block, kCopyBlockBytes, &read, nullptr)) {
      LogError(context, ErrorCopyFile, destinationPath);
      return false;
    }
    if (read != 0) {
      DWORD written = 0;
      const BOOL wrote = WriteFile(destination, block, read, &written, nullptr);
      if (!wrote || written != read) {
        // A write that claims success but falls short can only mean a full disk.
        if (wrote) SetLastError(ERROR_DISK_FULL);
        LogError(context, ErrorCopyFile, destinationPath);
        return false;
      }
    }
    if (read != kCopyBlockBytes) return true;
  }
}

}  // namespace

HRESULT CopyDriverFile(InstallContext& context, LPCWSTR destinationDir, LPCWSTR fileName, LPWSTR destinationPath,
                       bool reportErrors) {
  LogLine(context, TEXT(">CopyFile %s to %s [%d])"), OrEmpty(fileName), OrEmpty(destinationDir), reportErrors ? 1 : 0);
  LogDepthScope section(context, 1);

  TextBuffer sourcePath;
  TextBuffer targetPath;
  BuildPath(sourcePath, TextString(context.InstallDir), OrEmpty(fileName));
  BuildPath(targetPath, OrEmpty(destinationDir), OrEmpty(fileName));

  HRESULT result = E_FAIL;
  // The caller keeps this path to name the copied file later; a cut path
  // would name another file, so a path that does not fit fails the copy.
  const bool fits = TextLength(targetPath) < DestinationPathCapacity;
  if (destinationPath != nullptr) {
    const SIZE_T length = fits ? static_cast<SIZE_T>(TextLength(targetPath)) : 0;
    LPCWSTR chars = TextString(targetPath);
    for (SIZE_T i = 0; i < length; ++i) destinationPath[i] = chars[i];
    destinationPath[length] = 0;
  }

  if (destinationPath != nullptr && !fits) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    if (reportErrors) LogError(context, ErrorOpenDestination, TextString(targetPath));
  } else {
    // Without the installer's directory a bare name would be read from
    // whatever directory the run was started in.
    HANDLE source = INVALID_HANDLE_VALUE;
    if (TextLength(context.InstallDir) == 0) {
      SetLastError(ERROR_PATH_NOT_FOUND);
    } else {
      source = CreateFileW(TextString(sourcePath), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    }
    if (source == INVALID_HANDLE_VALUE) {
      if (reportErrors) LogError(context, ErrorOpenSource, OrEmpty(fileName));
    } else {
      HANDLE destination = OpenDestinationFile(context, TextString(targetPath));
      if (destination == INVALID_HANDLE_VALUE) {
        if (reportErrors) LogError(context, ErrorOpenDestination, TextString(targetPath));
      } else {
        if (CopyContents(context, source, destination, TextString(targetPath))) result = S_OK;
        CloseHandle(destination);
      }
      CloseHandle(source);
    }
  }

  LogLine(context, result == S_OK ? TEXT("Copy Succeeded :)") : TEXT("Copy Failed :("));
  TextFree(targetPath);
  TextFree(sourcePath);
  return result;
}

HANDLE OpenDestinationFile(InstallContext& context, LPCWSTR path) {
  const DWORD start = GetTickCount();
  DWORD lastError = ERROR_SUCCESS;
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    HANDLE file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) return file;
    lastError = GetLastError();
    // Unsigned difference: a wrap of the tick counter does no harm.
    if (GetTickCount() - start > kOpenTimeoutMs) {
      LogLine(context, TEXT("CreateFile - timeout"));
      SetLastError(lastError);
      return INVALID_HANDLE_VALUE;
    }
    Sleep(kOpenRetryDelayMs);
  }
  // The caller's error line reports why the last attempt failed.
  SetLastError(lastError);
  return INVALID_HANDLE_VALUE;
}
