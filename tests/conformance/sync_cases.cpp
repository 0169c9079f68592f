// Mutexes: names shared across the session, ownership that belongs to the
// thread, waits that time out, and the one report of an abandoned mutex.
#include "conformance.h"

using namespace conformance;

// A second creation of a name opens the same mutex with ERROR_ALREADY_EXISTS
// and leaves its owner as it is; "Local\" names the same object; names are
// compared with regard to case; unnamed mutexes are new each time.
CONFORMANCE_CASE(mutex_names_and_waits_of_its_owner) {
  const struct {
    const char* name;
    DWORD error;
  } cases[] = {{"conformance mutex", ERROR_SUCCESS},  // the first, owned from here on
               {"conformance mutex", ERROR_ALREADY_EXISTS},
               {"Local\\conformance mutex", ERROR_ALREADY_EXISTS},
               {"CONFORMANCE MUTEX", ERROR_SUCCESS},
               {nullptr, ERROR_SUCCESS},
               {nullptr, ERROR_SUCCESS}};
  HANDLE handles[6] = {};
  for (int i = 0; i < 6; ++i) {
    const Row row("\"%s\"", cases[i].name ? cases[i].name : "(unnamed)");
    PoisonError();
    handles[i] = CreateMutexA(nullptr, TRUE, cases[i].name);
    ok_error(cases[i].error);
    ok(handles[i] != nullptr && (i == 0 || handles[i] != handles[i - 1]), "handle %p", handles[i]);
  }
  expect(ReleaseMutex(handles[4]), 0);  // each unnamed one is owned once
  expect(ReleaseMutex(handles[5]), 0);
  expect(ReleaseMutex(handles[1]), 0);  // the name is owned once, through the first creation only
  expect(ReleaseMutex(handles[0]), ERROR_NOT_OWNER);
  // The owner's waits succeed at once and count: each needs its release.
  ok(WaitForSingleObject(handles[0], 0) == WAIT_OBJECT_0 && WaitForSingleObject(handles[0], 0) == WAIT_OBJECT_0,
     "waits");
  expect(ReleaseMutex(handles[0]), 0);
  expect(ReleaseMutex(handles[0]), 0);
  expect(ReleaseMutex(handles[0]), ERROR_NOT_OWNER);
  for (HANDLE handle : handles) CloseHandle(handle);
  expect(WaitForSingleObject(handles[0], 0) != WAIT_FAILED, ERROR_INVALID_HANDLE);
  expect(CreateMutexA(nullptr, FALSE, "no such directory\\conformance mutex"), ERROR_PATH_NOT_FOUND);
  expect(OpenMutexA(SYNCHRONIZE, FALSE, "conformance missing mutex"), ERROR_FILE_NOT_FOUND);
}

// A mutex another process owns times out after the time asked; when that
// process is terminated holding it, the next wait takes it over and reports
// WAIT_ABANDONED, once.
CONFORMANCE_CASE(mutex_held_by_a_terminated_child_is_abandoned) {
  PROCESS_INFORMATION child;
  if (!StartChild(child)) return ok(false, "the child did not come up: %lu", GetLastError());
  HANDLE mutex = expect(CreateMutexA(nullptr, FALSE, kChildMutex), 0);
  const DWORD start = GetTickCount();
  ok(WaitForSingleObject(mutex, 100) == WAIT_TIMEOUT, "the child's mutex was free");
  ok(GetTickCount() - start >= 100 - 16, "waited %lu ms for a timeout of 100", GetTickCount() - start);
  expect(TerminateProcess(child.hProcess, 3), 0);
  WaitForSingleObject(child.hProcess, 5000);
  ok(WaitForSingleObject(mutex, 0) == WAIT_ABANDONED, "the first wait after the end");
  ok(WaitForSingleObject(mutex, 0) == WAIT_OBJECT_0, "the second wait after the end");
  for (HANDLE handle : {mutex, child.hThread, child.hProcess}) CloseHandle(handle);
}
