#include "tray_companion.h"

#include "../shell/wide_text.h"

namespace {

// Each wait for the tray program to let go of its mutex, and how many times
// the installer asks it to quit.
constexpr DWORD TrayQuitWaitMs = 5000;
constexpr int TrayShutdownAttempts = 20;
// A tray program that has not shown its window yet is looked for again after this.
constexpr DWORD TrayWindowPollMs = 250;
// Without a Run value, the installer gives a program that is going a moment.
constexpr DWORD NoRunValuePauseMs = 1000;
constexpr int TrayDeleteAttempts = 10;
constexpr DWORD TrayCommandLineChars = 259;  // of the path, between the quotes
constexpr DWORD RunValueChars = 260;         // the most that is read back

bool IsSeparator(WCHAR c) { return c == '\\' || c == '/'; }

// True when the path's last component is the tray program's file name: an
// elevated installer deletes no other file on the word of a registry value.
bool NamesTrayProgram(LPCWSTR path) {
  LPCWSTR name = path;
  for (LPCWSTR c = path; *c != 0; ++c) {
    if (IsSeparator(*c) || *c == ':') name = c + 1;
  }
  return WideEqualAsciiNoCase(name, TrayProgramName);
}

void RegisterTrayProgram(const TextBuffer& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, TrayRunKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
  const DWORD bytes = static_cast<DWORD>((TextLength(path) + 1) * sizeof(WCHAR));  // the terminator counts
  RegSetValueExW(key, TrayRunValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(TextString(path)), bytes);
  RegCloseKey(key);
}

void LaunchTrayProgram(const TextBuffer& path) {
  // CreateProcessW may write into its command line, so it gets a copy.
  WCHAR commandLine[TrayCommandLineChars + 3];
  const ULONGLONG length = TextLength(path);
  const DWORD kept = length < TrayCommandLineChars ? static_cast<DWORD>(length) : TrayCommandLineChars;
  LPCWSTR chars = TextString(path);
  commandLine[0] = '"';
  for (DWORD i = 0; i < kept; ++i) commandLine[i + 1] = chars[i];
  commandLine[kept + 1] = '"';
  commandLine[kept + 2] = 0;

  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOW;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup,
                      &process)) {
    return;
  }
  // The program runs on its own; the installer does not wait for it.
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

// True when the tray program let go of its mutex in time. A wait that
// takes the mutex over (released or abandoned) gives it back at once, so
// the installer never stands in for a running tray program.
bool WaitForTrayToEnd(HANDLE mutex) {
  const DWORD result = WaitForSingleObject(mutex, TrayQuitWaitMs);
  if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) ReleaseMutex(mutex);
  return result == WAIT_OBJECT_0;
}

void ShutDownTray(HANDLE mutex) {
  bool seen = false;
  for (int attempt = 0; attempt < TrayShutdownAttempts; ++attempt) {
    const HWND window = FindWindowW(TrayWindowClass, nullptr);
    if (window != nullptr) {
      seen = true;
      PostMessageW(window, TrayQuitMessage, 0, 0);
      if (WaitForTrayToEnd(mutex)) return;
    } else if (seen) {
      // The window is gone: the program is on its way out.
      WaitForTrayToEnd(mutex);
      return;
    } else {
      Sleep(TrayWindowPollMs);  // not up yet, or never shows a window
    }
  }
  if (seen) WaitForTrayToEnd(mutex);
}

// Deletes the file the Run value names, retrying while the program that
// runs from it is still going.
void DeleteTrayProgram(HKEY key) {
  // One character beyond what is read, so a value stored without its
  // terminator still ends.
  WCHAR path[RunValueChars + 1] = {};
  DWORD type = REG_NONE;
  DWORD bytes = RunValueChars * sizeof(WCHAR);
  if (RegQueryValueExW(key, TrayRunValue, nullptr, &type, reinterpret_cast<BYTE*>(path), &bytes) != ERROR_SUCCESS ||
      type != REG_SZ) {
    Sleep(NoRunValuePauseMs);
    return;
  }
  if (path[0] == 0 || !NamesTrayProgram(path)) return;
  for (int attempt = 1;; ++attempt) {
    if (DeleteFileW(path)) return;
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || attempt == TrayDeleteAttempts) return;
    Sleep(error == ERROR_ACCESS_DENIED ? 100 : 10);
  }
}

}  // namespace

TextBuffer TrayProgramPath(const TextBuffer& installDir) {
  TextBuffer dir = TextCopy(installDir);
  const ULONGLONG length = TextLength(dir);
  if (length > 0 && IsSeparator(TextString(dir)[length - 1])) TextResize(dir, length - 1);
  TextBuffer path = TextParentDir(dir);
  TextFree(dir);
  const ULONGLONG parent = TextLength(path);
  if (parent > 0 && !IsSeparator(TextString(path)[parent - 1])) TextAppend(path, TEXT("\\"));
  TextAppend(path, TrayProgramName);
  return path;
}

void StartTrayCompanion(const InstallContext& context) {
  // Without the installer's directory the path would name a ravtray.exe
  // wherever the search finds one: an elevated run starts none.
  if (!context.RegisterTray || TextLength(context.InstallDir) == 0) return;
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof(version);
  // Windows before 6.0 gets no tray program.
  if (!GetVersionExA(&version) || version.dwPlatformId != VER_PLATFORM_WIN32_NT || version.dwMajorVersion < 6) return;
  TextBuffer path = TrayProgramPath(context.InstallDir);
  RegisterTrayProgram(path);
  LaunchTrayProgram(path);
  TextFree(path);
}

void StopTrayCompanion() {
  // Creating the mutex tells whether the tray program runs: it holds it.
  HANDLE mutex = CreateMutexA(nullptr, FALSE, TrayInstanceMutex);
  if (mutex != nullptr) {
    if (GetLastError() == ERROR_ALREADY_EXISTS) ShutDownTray(mutex);
    CloseHandle(mutex);
  }
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, TrayRunKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
  if (mutex != nullptr) DeleteTrayProgram(key);
  RegDeleteValueA(key, TrayRunValueAnsi.Text);
  RegCloseKey(key);
}
