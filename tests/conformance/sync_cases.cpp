// Mutexes: names shared across the session, ownership that belongs to the
// thread, waits that time out, and the one report of an abandoned mutex.
#include "conformance.h"

using namespace conformance;

namespace {

HANDLE Create(BOOL initialOwner, const char* name) { return CreateMutexA(nullptr, initialOwner, name); }

}  // namespace

// A second creation of a name opens the same mutex with ERROR_ALREADY_EXISTS
// and leaves its owner as it is; "Local\" names the same object; names are
// compared with regard to case.
CONFORMANCE_CASE(mutex_name_created_twice_opens_the_same_mutex) {
  const struct {
    const char* name;
    DWORD error;
  } cases[] = {
      {"conformance mutex", ERROR_SUCCESS},  // the first, owned from here on
      {"conformance mutex", ERROR_ALREADY_EXISTS}, {"Local\\conformance mutex", ERROR_ALREADY_EXISTS},
      {"CONFORMANCE MUTEX", ERROR_SUCCESS},        {"conformance mutex ", ERROR_SUCCESS},
  };
  HANDLE first = nullptr;
  for (const auto& c : cases) {
    const Row row("\"%s\"", c.name);
    PoisonError();
    HANDLE again = Create(TRUE, c.name);
    ok_error(c.error);
    ok(again != nullptr && again != first, "handle %p", again);
    if (first == nullptr)
      first = again;
    else
      Close(again);
  }
  // Still owned by this thread through the first creation only.
  HANDLE other = Create(FALSE, "conformance mutex");
  expect(ReleaseMutex(other), 0);
  expect(ReleaseMutex(first), ERROR_NOT_OWNER);
  CloseHandle(other);
  CloseHandle(first);
}

// Unnamed mutexes are new each time; an object directory in the name that
// does not exist gives ERROR_PATH_NOT_FOUND. The owner's waits succeed at
// once and count: each needs its release.
CONFORMANCE_CASE(mutex_names_and_waits_of_its_owner) {
  HANDLE a = expect(Create(FALSE, nullptr), 0);
  ok_error(ERROR_SUCCESS);
  HANDLE b = expect(Create(FALSE, ""), 0);
  ok_error(ERROR_SUCCESS);
  ok(b != a, "the same mutex twice");
  expect(Create(FALSE, "no such directory\\conformance mutex"), ERROR_PATH_NOT_FOUND);
  expect(OpenMutexA(SYNCHRONIZE, FALSE, "conformance missing mutex"), ERROR_FILE_NOT_FOUND);
  CloseHandle(b);
  expect(ReleaseMutex(a), ERROR_NOT_OWNER);
  ok(WaitForSingleObject(a, 0) == WAIT_OBJECT_0 && WaitForSingleObject(a, 0) == WAIT_OBJECT_0, "waits");
  expect(ReleaseMutex(a), 0);
  expect(ReleaseMutex(a), 0);
  expect(ReleaseMutex(a), ERROR_NOT_OWNER);
  expect(WaitForSingleObject(nullptr, 0) != WAIT_FAILED, ERROR_INVALID_HANDLE);
  CloseHandle(a);
  expect(WaitForSingleObject(a, 0) != WAIT_FAILED, ERROR_INVALID_HANDLE);
}

// A mutex another process owns times out after the time asked; when that
// process is terminated holding it, the next wait takes it over and reports
// WAIT_ABANDONED, once.
CONFORMANCE_CASE(mutex_held_by_a_terminated_child_is_abandoned) {
  PROCESS_INFORMATION child;
  Poison(child);
  if (!StartChild(child)) {
    ok(false, "the child did not come up: %lu", GetLastError());
    return;
  }
  HANDLE mutex = expect(Create(FALSE, kChildMutex), 0);
  ok_error(ERROR_ALREADY_EXISTS);
  const DWORD start = GetTickCount();
  ok(WaitForSingleObject(mutex, 100) == WAIT_TIMEOUT, "the child's mutex was free");
  const DWORD waited = GetTickCount() - start;
  ok(waited >= 100 - 16 && waited < 5000, "waited %lu ms for a timeout of 100", waited);
  expect(ReleaseMutex(mutex), ERROR_NOT_OWNER);
  expect(TerminateProcess(child.hProcess, 3), 0);
  ok(WaitForSingleObject(child.hProcess, 5000) == WAIT_OBJECT_0, "the child did not end");
  ok(WaitForSingleObject(mutex, 0) == WAIT_ABANDONED, "the first wait after the end");
  ok(WaitForSingleObject(mutex, 0) == WAIT_OBJECT_0, "the second wait after the end");
  ok(ReleaseMutex(mutex) && ReleaseMutex(mutex), "releasing failed with %lu", GetLastError());
  CloseHandle(mutex);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
}
