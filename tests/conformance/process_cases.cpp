// Processes: starting a program by name, its exit code, its end; and the
// version of Windows a program without a manifest is told.
#include "conformance.h"

using namespace conformance;

// An application name is opened as given; a name read from the command line
// is searched for, and a miss there is ERROR_FILE_NOT_FOUND even when its
// directory is missing.
CONFORMANCE_CASE(create_process_of_a_missing_program) {
  WCHAR quoted[] = TEXT("\"C:\\conformance\\missing.exe\" argument");
  WCHAR unquoted[] = TEXT("C:\\conformance\\nowhere\\missing.exe argument");
  const struct {
    const WCHAR* application;
    WCHAR* commandLine;
    DWORD error;
  } cases[] = {
      {TEXT("C:\\conformance\\missing.exe"), nullptr, ERROR_FILE_NOT_FOUND},
      {TEXT("C:\\conformance\\nowhere\\missing.exe"), nullptr, ERROR_PATH_NOT_FOUND},
      {nullptr, quoted, ERROR_FILE_NOT_FOUND},
      {nullptr, unquoted, ERROR_FILE_NOT_FOUND},
  };
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process;
  for (const auto& c : cases) {
    const Row row("%s", Narrow(c.application ? c.application : c.commandLine).c_str());
    expect(
        CreateProcessW(c.application, c.commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process),
        c.error);
  }
}

// STILL_ACTIVE while it runs, the code it was ended with after; the process
// and its thread are signalled at its end, and it cannot be ended twice.
CONFORMANCE_CASE(exit_code_of_a_child_while_it_runs_and_after) {
  PROCESS_INFORMATION child;
  Poison(child);
  if (!StartChild(child)) {
    ok(false, "the child did not come up: %lu", GetLastError());
    return;
  }
  ok(child.dwProcessId != 0 && child.dwThreadId != 0, "ids %lu, %lu", child.dwProcessId, child.dwThreadId);
  DWORD code;
  Poison(code);
  ok(GetExitCodeProcess(child.hProcess, &code) && code == STILL_ACTIVE, "exit code %lu while running", code);
  ok(WaitForSingleObject(child.hProcess, 0) == WAIT_TIMEOUT, "a running process is signalled");
  expect(TerminateProcess(child.hProcess, 7), 0);
  ok(WaitForSingleObject(child.hProcess, 5000) == WAIT_OBJECT_0, "the process is not signalled");
  ok(WaitForSingleObject(child.hThread, 5000) == WAIT_OBJECT_0, "the thread is not signalled");
  Poison(code);
  ok(GetExitCodeProcess(child.hProcess, &code) && code == 7, "exit code %lu after the end", code);
  expect(TerminateProcess(child.hProcess, 8),
         WineDiffers("TerminateProcess of a process that has ended succeeds") ? 0 : ERROR_ACCESS_DENIED);
  Poison(code);
  ok(GetExitCodeProcess(child.hProcess, &code) && code == 7, "exit code %lu after a second end", code);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  expect(GetExitCodeProcess(child.hProcess, &code), ERROR_INVALID_HANDLE);
}

// Only the two structure sizes are accepted; the basic one is filled no
// further than its size. Without a manifest naming later versions, Windows
// 8 and later report 6.2.9200.
CONFORMANCE_CASE(get_version_ex_sizes) {
  const struct {
    DWORD size;
    bool accepted;
  } cases[] = {
      {0, false},
      {sizeof(OSVERSIONINFOA) - 1, false},
      {sizeof(OSVERSIONINFOA), true},
      {sizeof(OSVERSIONINFOA) + 1, false},
      {sizeof(OSVERSIONINFOEXA) - 1, false},
      {sizeof(OSVERSIONINFOEXA), true},
      {sizeof(OSVERSIONINFOEXA) + 1, false},
  };
  static_assert(sizeof(OSVERSIONINFOA) == 148 && sizeof(OSVERSIONINFOEXA) == 156, "the documented sizes");
  const DWORD minor = WineDiffers("GetVersionExA reports 6.1.7601 (Windows 7 SP1)") ? 1 : 2;
  for (const auto& c : cases) {
    OSVERSIONINFOEXA info;
    const Row row("size %lu", c.size);
    Poison(info);
    info.dwOSVersionInfoSize = c.size;
    expect(GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info)), c.accepted ? 0 : ERROR_INSUFFICIENT_BUFFER);
    if (!c.accepted) {
      ok(info.dwMajorVersion == 0xCCCCCCCC, "written");
      continue;
    }
    ok(info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion == 6 && info.dwMinorVersion == minor &&
           info.dwBuildNumber == (minor == 1 ? 7601u : 9200u),
       "platform %lu, %lu.%lu.%lu", info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber);
    ok(c.size != sizeof(OSVERSIONINFOA) || info.wServicePackMajor == 0xCCCC, "written beyond the basic structure");
  }
}
