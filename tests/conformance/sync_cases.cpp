// Mutexes: names shared across the session, ownership that belongs to the
// thread, waits that time out, and the one report of an abandoned mutex.
#include "conformance.h"

namespace {

HANDLE Create(BOOL initialOwner, const char* name) {
  conformance::PoisonError();
  return CreateMutexA(nullptr, initialOwner, name);
}

}  // namespace

// A second creation of a name opens the same mutex with ERROR_ALREADY_EXISTS
// and leaves its owner as it is; "Local\" names the same object; names are
// compared with regard to case.
CONFORMANCE_CASE(mutex_name_created_twice_opens_the_same_mutex) {
  HANDLE first = Create(TRUE, "conformance mutex");
  ok(first != nullptr, "creating failed with %lu", GetLastError());
  ok_error(ERROR_SUCCESS);
  const struct {
    const char* name;
    DWORD error;
  } cases[] = {
      {"conformance mutex", ERROR_ALREADY_EXISTS},
      {"Local\\conformance mutex", ERROR_ALREADY_EXISTS},
      {"CONFORMANCE MUTEX", ERROR_SUCCESS},
      {"conformance mutex ", ERROR_SUCCESS},
  };
  for (const auto& c : cases) {
    HANDLE again = Create(TRUE, c.name);
    ok(again != nullptr && again != first, "\"%s\": handle %p", c.name, again);
    ok_error(c.error);
    if (again != nullptr) CloseHandle(again);
  }
  // Still owned by this thread through the first creation only.
  HANDLE other = Create(FALSE, "conformance mutex");
  conformance::PoisonError();
  ok(ReleaseMutex(other), "releasing through another handle failed with %lu", GetLastError());
  conformance::PoisonError();
  ok(!ReleaseMutex(first), "released twice");
  ok_error(ERROR_NOT_OWNER);
  CloseHandle(other);
  CloseHandle(first);
}

// Unnamed mutexes are new each time; an object directory in the name that
// does not exist gives ERROR_PATH_NOT_FOUND.
CONFORMANCE_CASE(mutex_without_a_name_or_with_a_missing_directory) {
  HANDLE a = Create(FALSE, nullptr);
  ok(a != nullptr, "unnamed: failed with %lu", GetLastError());
  ok_error(ERROR_SUCCESS);
  HANDLE b = Create(FALSE, "");
  ok(b != nullptr && b != a, "empty name: handle %p", b);
  ok_error(ERROR_SUCCESS);
  HANDLE c = Create(FALSE, "no such directory\\conformance mutex");
  ok(c == nullptr, "a name in a missing directory was created");
  ok_error(ERROR_PATH_NOT_FOUND);
  conformance::PoisonError();
  ok(OpenMutexA(SYNCHRONIZE, FALSE, "conformance missing mutex") == nullptr, "a missing mutex was opened");
  ok_error(ERROR_FILE_NOT_FOUND);
  CloseHandle(b);
  CloseHandle(a);
}

// The owner's waits succeed at once and count: each needs its release.
CONFORMANCE_CASE(mutex_waits_of_its_owner_count) {
  HANDLE mutex = Create(FALSE, "conformance counted mutex");
  conformance::PoisonError();
  ok(!ReleaseMutex(mutex), "a free mutex was released");
  ok_error(ERROR_NOT_OWNER);
  ok(WaitForSingleObject(mutex, 0) == WAIT_OBJECT_0, "first wait");
  ok(WaitForSingleObject(mutex, 0) == WAIT_OBJECT_0, "second wait");
  ok(ReleaseMutex(mutex) && ReleaseMutex(mutex), "releasing both waits failed with %lu", GetLastError());
  conformance::PoisonError();
  ok(!ReleaseMutex(mutex), "released more often than waited");
  ok_error(ERROR_NOT_OWNER);
  conformance::PoisonError();
  ok(WaitForSingleObject(nullptr, 0) == WAIT_FAILED, "waiting on NULL");
  ok_error(ERROR_INVALID_HANDLE);
  CloseHandle(mutex);
  conformance::PoisonError();
  ok(WaitForSingleObject(mutex, 0) == WAIT_FAILED, "waiting on a closed handle");
  ok_error(ERROR_INVALID_HANDLE);
}

// A mutex another process owns times out after the time asked; when that
// process is terminated holding it, the next wait takes it over and reports
// WAIT_ABANDONED, once.
CONFORMANCE_CASE(mutex_held_by_a_terminated_child_is_abandoned) {
  PROCESS_INFORMATION child;
  conformance::Poison(child);
  if (!conformance::StartChild(child)) {
    ok(false, "the child did not come up: %lu", GetLastError());
    return;
  }
  HANDLE mutex = Create(FALSE, conformance::kChildMutex);
  ok_error(ERROR_ALREADY_EXISTS);
  const DWORD start = GetTickCount();
  ok(WaitForSingleObject(mutex, 100) == WAIT_TIMEOUT, "the child's mutex was free");
  const DWORD waited = GetTickCount() - start;
  ok(waited >= 100 - 16 && waited < 5000, "waited %lu ms for a timeout of 100", waited);
  conformance::PoisonError();
  ok(!ReleaseMutex(mutex), "released the child's mutex");
  ok_error(ERROR_NOT_OWNER);

  ok(TerminateProcess(child.hProcess, 3), "terminating failed with %lu", GetLastError());
  ok(WaitForSingleObject(child.hProcess, 5000) == WAIT_OBJECT_0, "the child did not end");
  conformance::PoisonError();
  ok(WaitForSingleObject(mutex, 0) == WAIT_ABANDONED, "the first wait after the end");
  ok(WaitForSingleObject(mutex, 0) == WAIT_OBJECT_0, "the second wait after the end");
  ok(ReleaseMutex(mutex) && ReleaseMutex(mutex), "releasing failed with %lu", GetLastError());
  CloseHandle(mutex);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
}
