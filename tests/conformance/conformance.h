// A conformance harness in the manner of Wine's tests: each case makes Win32
// calls and states what Windows documents, built against winsim and run
// under Wine. Poison the last error and out-parameters before a call.
#pragma once
#include <windows.h>

#include <cstring>
#include <string>

namespace conformance {

constexpr DWORD kPoison = 0xDEADBEEF;

inline void PoisonError() { SetLastError(kPoison); }
template <typename T>
void Poison(T& value) {
  std::memset(static_cast<void*>(&value), 0xCC, sizeof(value));
}

bool OnWine();
// True under Wine, naming `difference` in the output: the case then checks
// what Wine does instead of what Windows documents.
bool WineDiffers(const char* difference);

// A directory the cases may create files in; empty at the start of a run.
const WCHAR* WorkDirectory();

// Text for messages: wide characters below 0x80 as they are, others as '?'.
std::string Narrow(const WCHAR* text, std::size_t length = std::string::npos);
// Equal texts, optionally without regard to ASCII case (paths, key names).
bool SameText(const WCHAR* a, const WCHAR* b, bool ignoreCase = false);
std::size_t TextLength(const WCHAR* text);

// This program started again with kChildArgument: it creates kChildMutex
// owned and waits to be terminated. True once the child owns the mutex.
constexpr char kChildArgument[] = "--hold-child-mutex";
constexpr char kChildMutex[] = "conformance child mutex";
bool StartChild(PROCESS_INFORMATION& child);

void Failure(const char* file, int line, const char* format, ...);
int Register(const char* name, void (*run)());
// Names the table row that the case's failures belong to while it lives.
struct Row {
  Row(const char* format, ...);
  ~Row();
};

// A true BOOL, or a handle neither NULL nor INVALID_HANDLE_VALUE.
inline bool Succeeded(BOOL result) { return result != FALSE; }
template <typename T>
bool Succeeded(T* handle) {
  return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}
inline void Close(HANDLE handle) {
  if (Succeeded(handle)) CloseHandle(handle);
}

template <typename Call>
auto Expect(const char* file, int line, const char* text, DWORD error, Call call) {
  const auto result = call();
  const DWORD last = GetLastError();
  if (error == 0 ? !Succeeded(result) : Succeeded(result) || last != error) {
    Failure(file, line, "%s %s, last error %lu, expected %lu", text, Succeeded(result) ? "succeeded" : "failed",
            (unsigned long)last, (unsigned long)error);
  }
  return result;
}

}  // namespace conformance

#define CONFORMANCE_CASE(name)                                                                \
  static void name();                                                                         \
  [[maybe_unused]] static const int name##_registered = ::conformance::Register(#name, name); \
  static void name()

// ok(condition, printf-style message): the case goes on after a failure.
#define ok(condition, ...) ((condition) ? (void)0 : ::conformance::Failure(__FILE__, __LINE__, __VA_ARGS__))

// Poisons the last error and makes the call: it succeeds when `error` is 0,
// else fails with that last error. Gives the call's result.
#define expect(call, error) \
  ::conformance::Expect(__FILE__, __LINE__, #call, (error), [&] { return ::conformance::PoisonError(), (call); })

// The call's last error is `code`.
#define ok_error(code)                                                                              \
  do {                                                                                              \
    const DWORD actual_ = GetLastError();                                                           \
    ok(actual_ == static_cast<DWORD>(code), "last error %lu, expected %lu", (unsigned long)actual_, \
       (unsigned long)(code));                                                                      \
  } while (0)
