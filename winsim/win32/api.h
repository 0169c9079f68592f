// Shared helpers of the API layer.
#pragma once
#include <algorithm>
#include <cstring>
#include <cstdint>
#include <string>
#include <type_traits>

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

// What a BOOL call returns for the model's answer `error`: TRUE for
// ERROR_SUCCESS, else FALSE with the error set.
inline BOOL Succeeded(DWORD error) {
  if (error == ERROR_SUCCESS) return TRUE;
  Fail(error);
  return FALSE;
}

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

// A block of the caller's local heap, as LocalAlloc gives one, for the
// entry points that hand one out: no call of the program, so not counted.
HLOCAL AllocateLocal(UINT flags, SIZE_T bytes);

// What a failed call returns: the fault's result when it gives one, else
// `failure`; converts to the calling function's own result type.
template <typename T>
struct FaultReturn {
  const Fault& fault;
  T failure;
  template <typename R>
  operator R() const {  // implicit: it is what the entry returns
    if (!fault.result) return static_cast<R>(failure);
    if constexpr (std::is_pointer_v<R>) {
      return reinterpret_cast<R>(static_cast<std::intptr_t>(*fault.result));
    } else {
      return static_cast<R>(*fault.result);
    }
  }
};
template <typename T>
FaultReturn<T> FaultResult(const Fault& fault, T failure) {
  return FaultReturn<T>{fault, failure};
}

}  // namespace winsim

// The entry of every simulated call that can fail: a call of an ended
// process does nothing; any other is one call of the program (counted) and
// fails here when an armed fault says so. An entry point never calls
// another, so winsim's own work is never counted as the program's calls.
#define WINSIM_FAULT(failure_value)                                          \
  do {                                                                       \
    if (!::winsim::CallerRuns()) return failure_value;                       \
    if (const auto winsim_fault = ::winsim::Current().TakeFault(__func__)) { \
      return ::winsim::FaultResult(*winsim_fault, failure_value);            \
    }                                                                        \
  } while (0)
