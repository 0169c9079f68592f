// Conformance cases: Win32 calls checked against winsim and under Wine.
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
// True under Wine, naming `difference`: the case then checks Wine's behaviour.
bool WineDiffers(const char* difference);
const WCHAR* WorkDirectory();  // emptied before each case
std::string Narrow(const WCHAR* text, std::size_t length = std::string::npos);
bool SameText(const WCHAR* a, const WCHAR* b, bool ignoreCase = false);
std::size_t TextLength(const WCHAR* text);

// This program run with kChildArgument owns kChildMutex until terminated.
constexpr char kChildArgument[] = "--hold-child-mutex";
constexpr char kChildMutex[] = "conformance child mutex";
bool StartChild(PROCESS_INFORMATION& child);
// Starts this program again with `arguments`.
bool StartSelf(const std::string& arguments, PROCESS_INFORMATION& child);

void Failure(const char* file, int line, const char* format, ...);
int Register(const char* name, void (*run)());
struct Row {  // names the table row of the failures while it lives
  Row(const char* format, ...);
  ~Row();
};

inline bool Succeeded(BOOL result) { return result != FALSE; }
inline bool Succeeded(const void* handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
inline void Close(HANDLE handle) { Succeeded(handle) && CloseHandle(handle); }

template <typename Call>
auto Expect(const char* file, int line, const char* text, DWORD error, Call call) {
  PoisonError();
  const auto result = call();
  const DWORD last = GetLastError();
  if (error == 0 ? !Succeeded(result) : Succeeded(result) || last != error)
    Failure(file, line, "%s %s, last error %lu, expected %lu", text, Succeeded(result) ? "succeeded" : "failed",
            (unsigned long)last, (unsigned long)error);
  return result;
}

}  // namespace conformance

#define CONFORMANCE_CASE(name)                                                                \
  static void name();                                                                         \
  [[maybe_unused]] static const int name##_registered = ::conformance::Register(#name, name); \
  static void name()
#define ok(condition, ...) ((condition) ? (void)0 : ::conformance::Failure(__FILE__, __LINE__, __VA_ARGS__))
// The call succeeds when `error` is 0, else fails with that last error.
#define expect(call, error) ::conformance::Expect(__FILE__, __LINE__, #call, (error), [&] { return (call); })
#define ok_error(code) \
  ok(GetLastError() == static_cast<DWORD>(code), "last error %lu, expected %lu", GetLastError(), (DWORD)(code))
