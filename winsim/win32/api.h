// Shared helpers of the API layer.
#pragma once
#include <algorithm>
#include <cstring>
#include <string>

#include <winsim/machine.h>

namespace winsim {

inline Machine& M() { return Current(); }

// False once the calling process has ended: from then on none of its calls
// reaches the machine (its destructors may still call while it unwinds).
inline bool CallerRuns() {
  const Process* caller = Current().FindProcess(Current().caller);
  return caller != nullptr && caller->running;
}

inline void Fail(DWORD error) { Current().lastError = error; }

// A new handle of the calling process, as the API's handle type `H`.
template <typename H>
H NewCallerHandle(HandleKind kind, const std::u16string& object, DWORD access, DWORD target = 0, DWORD share = 0) {
  Handle handle;
  handle.kind = kind;
  handle.process = Current().caller;
  handle.object = object;
  handle.access = access;
  handle.target = target;
  handle.share = share;
  return AsHandle<H>(Current().handles.Add(handle));
}

// The caller's open handle of `kind`, or null with ERROR_INVALID_HANDLE set.
template <typename H>
Handle* CallerHandle(H value, HandleKind kind) {
  Handle* found = Current().handles.Find(HandleValue(value), kind, Current().caller);
  if (found == nullptr) Fail(ERROR_INVALID_HANDLE);
  return found;
}

// Length of a zero-terminated wide string.
inline std::size_t WideLen(LPCWSTR s) {
  std::size_t n = 0;
  while (s[n] != 0) ++n;
  return n;
}

inline std::u16string FromWide(LPCWSTR s) { return s ? std::u16string(s, WideLen(s)) : std::u16string(); }

}  // namespace winsim

// The entry of every simulated call: a call of an ended process does
// nothing, and a call whose fault is armed fails here with the armed error.
#define WINSIM_FAULT(failure_value)                                           \
  do {                                                                        \
    if (!::winsim::CallerRuns() || ::winsim::Current().TakeFault(__func__)) { \
      return failure_value;                                                   \
    }                                                                         \
  } while (0)
