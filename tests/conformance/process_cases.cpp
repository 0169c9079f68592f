// Processes: starting a program by name, its exit code, its end; and the
// version of Windows a program without a manifest is told.
#include "conformance.h"

using namespace conformance;

// An application name is opened as given; a name read from the command line
// is searched for, and a miss there is ERROR_FILE_NOT_FOUND even when its
// directory is missing.
CONFORMANCE_CASE(create_process_of_a_missing_program) {
  WCHAR commandLine[] = TEXT("C:\\conformance\\nowhere\\missing.exe argument");
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process;
  expect(CreateProcessW(TEXT("C:\\conformance\\nowhere\\missing.exe"), nullptr, nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process),
         ERROR_PATH_NOT_FOUND);
  expect(CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process),
         ERROR_FILE_NOT_FOUND);
}

// STILL_ACTIVE while it runs, the code it was ended with after; it cannot
// be ended twice, and its handle is invalid once closed.
CONFORMANCE_CASE(exit_code_of_a_child_while_it_runs_and_after) {
  PROCESS_INFORMATION child;
  if (!StartChild(child)) return ok(false, "the child did not come up: %lu", GetLastError());
  DWORD code = kPoison;
  ok(GetExitCodeProcess(child.hProcess, &code) && code == STILL_ACTIVE, "exit code %lu while running", code);
  expect(TerminateProcess(child.hProcess, 7), 0);
  ok(WaitForSingleObject(child.hProcess, 5000) == WAIT_OBJECT_0, "the process is not signalled");
  expect(TerminateProcess(child.hProcess, 8),
         WineDiffers("TerminateProcess of a process that has ended succeeds") ? 0 : ERROR_ACCESS_DENIED);
  code = kPoison;
  ok(GetExitCodeProcess(child.hProcess, &code) && code == 7, "exit code %lu after the end", code);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  expect(GetExitCodeProcess(child.hProcess, &code), ERROR_INVALID_HANDLE);
}

// Only the two structure sizes are accepted; the basic one is filled no
// further than its size. Without a manifest naming later versions, Windows
// 8 and later report 6.2.9200.
CONFORMANCE_CASE(get_version_ex_sizes) {
  const DWORD minor = WineDiffers("GetVersionExA reports 6.1.7601 (Windows 7 SP1)") ? 1 : 2;
  for (const DWORD size : {sizeof(OSVERSIONINFOA), sizeof(OSVERSIONINFOEXA), sizeof(OSVERSIONINFOEXA) - 1}) {
    const Row row("size %lu", size);
    OSVERSIONINFOEXA info;
    Poison(info);
    info.dwOSVersionInfoSize = size;
    if (!expect(GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info)),
                size == sizeof(OSVERSIONINFOEXA) - 1 ? ERROR_INSUFFICIENT_BUFFER : 0))
      continue;
    ok(info.dwMajorVersion == 6 && info.dwMinorVersion == minor && info.dwBuildNumber == (minor == 1 ? 7601u : 9200u),
       "%lu.%lu.%lu", info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber);
    ok(size != sizeof(OSVERSIONINFOA) || info.wServicePackMajor == 0xCCCC, "written beyond the basic structure");
  }
}
