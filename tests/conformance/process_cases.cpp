// Processes: starting a program by name, its exit code, its end; and the
// version of Windows a program without a manifest is told.
#include "conformance.h"

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
  for (const auto& c : cases) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process;
    conformance::Poison(process);
    conformance::PoisonError();
    ok(!CreateProcessW(c.application, c.commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process),
       "a missing program was started");
    ok_error(c.error);
  }
}

// STILL_ACTIVE while it runs, the code it was ended with after; the process
// and its thread are signalled at its end, and it cannot be ended twice.
CONFORMANCE_CASE(exit_code_of_a_child_while_it_runs_and_after) {
  PROCESS_INFORMATION child;
  conformance::Poison(child);
  if (!conformance::StartChild(child)) {
    ok(false, "the child did not come up: %lu", GetLastError());
    return;
  }
  ok(child.dwProcessId != 0 && child.dwThreadId != 0, "ids %lu, %lu", child.dwProcessId, child.dwThreadId);
  DWORD code;
  conformance::Poison(code);
  ok(GetExitCodeProcess(child.hProcess, &code) && code == STILL_ACTIVE, "exit code %lu while running", code);
  ok(WaitForSingleObject(child.hProcess, 0) == WAIT_TIMEOUT, "a running process is signalled");
  ok(TerminateProcess(child.hProcess, 7), "terminating failed with %lu", GetLastError());
  ok(WaitForSingleObject(child.hProcess, 5000) == WAIT_OBJECT_0, "the process is not signalled");
  ok(WaitForSingleObject(child.hThread, 5000) == WAIT_OBJECT_0, "the thread is not signalled");
  conformance::Poison(code);
  ok(GetExitCodeProcess(child.hProcess, &code) && code == 7, "exit code %lu after the end", code);
  conformance::PoisonError();
  if (conformance::WineDiffers("TerminateProcess of a process that has ended succeeds")) {
    ok(TerminateProcess(child.hProcess, 8), "Wine: failed with %lu", GetLastError());
  } else {
    ok(!TerminateProcess(child.hProcess, 8), "an ended process was terminated");
    ok_error(ERROR_ACCESS_DENIED);
  }
  conformance::Poison(code);
  ok(GetExitCodeProcess(child.hProcess, &code) && code == 7, "exit code %lu after a second end", code);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  conformance::PoisonError();
  ok(!GetExitCodeProcess(child.hProcess, &code), "a closed handle was read");
  ok_error(ERROR_INVALID_HANDLE);
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
  ok(sizeof(OSVERSIONINFOA) == 148 && sizeof(OSVERSIONINFOEXA) == 156, "structure sizes %u, %u",
     unsigned(sizeof(OSVERSIONINFOA)), unsigned(sizeof(OSVERSIONINFOEXA)));
  const bool wine = conformance::WineDiffers("GetVersionExA reports 6.1.7601 (Windows 7 SP1)");
  for (const auto& c : cases) {
    OSVERSIONINFOEXA info;
    conformance::Poison(info);
    info.dwOSVersionInfoSize = c.size;
    conformance::PoisonError();
    const BOOL result = GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info));
    if (!c.accepted) {
      ok(!result, "size %lu accepted", c.size);
      ok_error(ERROR_INSUFFICIENT_BUFFER);
      ok(info.dwMajorVersion == 0xCCCCCCCC, "size %lu: written", c.size);
      continue;
    }
    ok(result, "size %lu refused with %lu", c.size, GetLastError());
    ok(info.dwPlatformId == VER_PLATFORM_WIN32_NT, "platform %lu", info.dwPlatformId);
    if (wine) {
      ok(info.dwMajorVersion == 6 && info.dwMinorVersion == 1 && info.dwBuildNumber == 7601, "Wine: %lu.%lu.%lu",
         info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber);
    } else {
      ok(info.dwMajorVersion == 6 && info.dwMinorVersion == 2 && info.dwBuildNumber == 9200, "%lu.%lu.%lu",
         info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber);
    }
    if (c.size == sizeof(OSVERSIONINFOA)) {
      ok(info.wServicePackMajor == 0xCCCC, "written beyond the basic structure");
    }
  }
}
