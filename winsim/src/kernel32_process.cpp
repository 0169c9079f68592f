// kernel32: the process's command line, module path, system directory and
// exit; starting other processes and asking after them; the Windows version.
#include <windows.h>

#include "api.h"

using namespace winsim;

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
  Machine& machine = M();
  const Handle* handle = CallerHandle(hProcess, HandleKind::Process);
  if (handle == nullptr) return FALSE;
  if (lpExitCode == nullptr) {
    Fail(ERROR_NOACCESS);
    return FALSE;
  }
  *lpExitCode = machine.processes.at(handle->target).exitCode;
  return TRUE;
}

// The process ends where it stands: the mutexes it owns are abandoned. A
// process that has already ended cannot be terminated (ERROR_ACCESS_DENIED).
BOOL WINAPI TerminateProcess(HANDLE hProcess, UINT uExitCode) {
  WINSIM_FAULT(FALSE);
  Machine& machine = M();
  const Handle* handle = CallerHandle(hProcess, HandleKind::Process);
  if (handle == nullptr) return FALSE;
  const DWORD target = handle->target;
  if (!machine.processes.at(target).running) {
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
