// kernel32: mutexes and waits. A wait moves the virtual clock on, so what
// other processes do meanwhile (a program quitting and releasing its mutex)
// happens while the caller waits.
#include <windows.h>

#include <string>
#include <vector>

#include "ansi_code_page.h"
#include "api.h"

using namespace winsim;

namespace {

// Names live in the session's namespace: "Local\" names the same object as
// the bare name, "Global\" another one; any other backslash names an object
// directory that does not exist.
bool MutexKey(const std::u16string& name, std::u16string& key) {
  static const std::u16string local = u"Local\\";
  static const std::u16string global = u"Global\\";
  key = name.compare(0, local.size(), local) == 0 ? name.substr(local.size()) : name;
  const std::size_t rest = key.compare(0, global.size(), global) == 0 ? global.size() : 0;
  if (key.find(u'\\', rest) != std::u16string::npos) {
    Fail(ERROR_PATH_NOT_FOUND);
    return false;
  }
  return true;
}

// An unnamed mutex gets a key no program can name: names with a backslash
// other than the namespace prefix are refused above.
std::u16string UnnamedMutexKey(std::uint64_t handle) { return u"\\Unnamed\\" + Widen(std::to_string(handle)); }

HANDLE CreateMutexNamed(BOOL initialOwner, const std::u16string& name) {
  Machine& machine = M();
  std::u16string key;
  if (name.empty()) {
    key = UnnamedMutexKey(machine.handles.next);
  } else if (!MutexKey(name, key)) {
    return nullptr;
  }
  const bool exists = machine.mutexes.count(key) != 0;
  const HANDLE handle = NewCallerHandle<HANDLE>(HandleKind::Mutex, key, MUTEX_ALL_ACCESS);
  if (exists) {
    // The existing object, whoever owns it; bInitialOwner is ignored.
    Fail(ERROR_ALREADY_EXISTS);
  } else {
    // cppcheck-suppress variableScope ; operator[] creates the mutex, owned or not
    Mutex& mutex = machine.mutexes[key];
    if (initialOwner) {
      mutex.owner = machine.caller;
      mutex.recursion = 1;
    }
    Fail(ERROR_SUCCESS);
  }
  return handle;
}

// Runs the clock until `done` holds or `ms` have passed. A wait without end
// that nothing pending can ever satisfy hangs the program: the user ends it,
// as with a dialog no action closes.
template <typename Done>
bool WaitUntil(DWORD ms, Done done) {
  Machine& machine = M();
  if (ms != INFINITE) return machine.AdvanceUntil(ms, done);
  while (!done()) {
    const auto next = machine.NextEventTime(UINT64_MAX);
    if (!next) {
      EndProcess(machine, machine.caller, 1);
      LeaveProcess(1);
    }
    machine.Advance(*next - machine.clock.now);
  }
  return true;
}

DWORD WaitForMutex(std::u16string key, DWORD ms) {
  Machine& machine = M();
  const DWORD caller = machine.caller;
  // The caller's handle keeps the mutex alive while it waits; `key` is a
  // copy, as handles of other processes may close meanwhile.
  auto available = [&machine, &key, caller] {
    const Mutex& mutex = machine.mutexes.at(key);
    return mutex.owner == 0 || mutex.owner == caller;
  };
  if (!WaitUntil(ms, available)) return WAIT_TIMEOUT;
  Mutex& mutex = machine.mutexes.at(key);
  mutex.owner = caller;
  ++mutex.recursion;
  if (mutex.abandoned) {
    // Reported once, to the wait that takes it over.
    mutex.abandoned = false;
    return WAIT_ABANDONED;
  }
  return WAIT_OBJECT_0;
}

// A process and its thread are signalled when the process ends.
DWORD WaitForProcess(DWORD id, DWORD ms) {
  Machine& machine = M();
  auto ended = [&machine, id] {
    const Process* process = machine.FindProcess(id);
    return process == nullptr || !process->running;
  };
  return WaitUntil(ms, ended) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

}  // namespace

// A name that exists already, from any process, gives a new handle to that
// mutex with ERROR_ALREADY_EXISTS; otherwise the last error is cleared.
HANDLE WINAPI CreateMutexW(LPSECURITY_ATTRIBUTES, BOOL bInitialOwner, LPCWSTR lpName) {
  WINSIM_FAULT(nullptr);
  return CreateMutexNamed(bInitialOwner, FromWide(lpName));
}

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL bInitialOwner, LPCSTR lpName) {
  WINSIM_FAULT(nullptr);
  return CreateMutexNamed(bInitialOwner, FromAnsi(lpName));
}

// A new handle to an existing named mutex; ERROR_FILE_NOT_FOUND when there
// is none. Access rights are not checked.
HANDLE WINAPI OpenMutexW(DWORD dwDesiredAccess, BOOL, LPCWSTR lpName) {
  WINSIM_FAULT(nullptr);
  Machine& machine = M();
  const std::u16string name = FromWide(lpName);
  std::u16string key;
  if (name.empty()) {
    Fail(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (!MutexKey(name, key)) return nullptr;
  if (machine.mutexes.count(key) == 0) {
    Fail(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  return NewCallerHandle<HANDLE>(HandleKind::Mutex, key, dwDesiredAccess);
}

HANDLE WINAPI OpenMutexA(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCSTR lpName) {
  WINSIM_FAULT(nullptr);
  const std::u16string name = FromAnsi(lpName);
  return OpenMutexW(dwDesiredAccess, bInheritHandle, name.c_str());
}

// Ownership belongs to the thread, not to the handle: any handle of the
// owning process releases it, each release undoing one wait.
BOOL WINAPI ReleaseMutex(HANDLE hMutex) {
  WINSIM_FAULT(FALSE);
  Machine& machine = M();
  const Handle* handle = CallerHandle(hMutex, HandleKind::Mutex);
  if (handle == nullptr) return FALSE;
  Mutex& mutex = machine.mutexes.at(handle->object);
  if (mutex.owner != machine.caller) {
    Fail(ERROR_NOT_OWNER);
    return FALSE;
  }
  if (--mutex.recursion == 0) mutex.owner = 0;
  return TRUE;
}

// Mutexes and processes are the objects modelled as waitable; a file is
// always signalled; other handles are no kernel objects to wait on.
DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  WINSIM_FAULT(WAIT_FAILED);
  Machine& machine = M();
  const std::uint64_t value = HandleValue(hHandle);
  if (const Handle* mutex = machine.handles.Find(value, HandleKind::Mutex, machine.caller)) {
    return WaitForMutex(mutex->object, dwMilliseconds);
  }
  for (HandleKind kind : {HandleKind::Process, HandleKind::Thread}) {
    if (const Handle* process = machine.handles.Find(value, kind, machine.caller)) {
      return WaitForProcess(process->target, dwMilliseconds);
    }
  }
  if (machine.handles.Find(value, HandleKind::File, machine.caller) != nullptr) return WAIT_OBJECT_0;
  Fail(ERROR_INVALID_HANDLE);
  return WAIT_FAILED;
}
