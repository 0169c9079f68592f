// kernel32: the process's command line, module path, system directory and
// exit.
#include <windows.h>

#include "api.h"

using namespace winsim;

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
