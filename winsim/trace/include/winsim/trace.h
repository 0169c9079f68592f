// A trace of the Win32 calls a program makes, as WINEDEBUG=+relay shows
// them but readable: each call with its arguments, its result and the last
// error, on the virtual clock.
//
// The program's own code is compiled with WINSIM_TRACE_CALLS. Each SDK
// header of winsim then ends with one macro per function it declares,
//   #define DeleteFileW(...) WINSIM_TRACED(DeleteFileW, "b:s")(__VA_ARGS__)
// which calls the function through Traced (a function-like macro does not
// expand its own name again). winsim's own calls are not traced. Every call
// is counted; recording the calls is switched on by StartRecording.
//
// The letters say how a call is shown: the result's, ':', one per parameter.
//   result: b BOOL, h handle (NULL or INVALID_HANDLE_VALUE fails), m a new
//     heap block (NULL fails), f a freed block (not NULL fails), r a status
//     that is the error itself, c a count (0 fails), x hex (all bits set
//     fails), d a number (-1 fails), s a string, v nothing.
//   parameter, read before the call: s string, d number, x hex, b BOOL,
//     h handle, p pointer (never read; also an LPARAM), l an info level, then M / D / P a
//     MONITOR_INFO_2 / DRIVER_INFO_2..6 / PRINTER_INFO_2 of that level,
//     C service control, T registry type;
//   read after the call: n out number, N in-out number, o out handle,
//     w out string of the result's length (the next parameter is its
//     capacity), S out SERVICE_STATUS. The call's buffers are never read
//     before the call fills them.
#pragma once
#include <array>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include <windef.h>

namespace winsim::trace {

// One call as the program made it.
struct CallRecord {
  std::uint64_t at = 0;   // virtual milliseconds when it was made
  std::size_t depth = 0;  // calls it was made within (a dialog procedure's calls)
  const char* name = "";
  std::vector<std::string> arguments;
  bool returned = false;       // false: the process ended inside it
  std::string result;          // empty for a function without one
  std::optional<DWORD> error;  // the last error, when the call failed or changed it
};

// Counts the calls from now on and, when `record`, records them; forgets
// what was recorded before.
void StartRecording(bool record = true);
// The calls the program made, counted whether or not they are recorded.
std::uint64_t CallCount();
const std::vector<CallRecord>& Calls();
// "[  12.400] DeleteFileW("C:\x.dll") = FALSE, error 2"; a call made
// within another is indented under it.
std::string Line(const CallRecord& call);

// One argument or result as the call had it: enough to show it later.
struct Value {
  std::uint64_t bits = 0;  // the number, or the pointer's address
  std::uint8_t size = 0;   // a number's size; for a pointer, that of the number or character it points to
  bool isSigned = false;   // of the number, or of what the pointer points to
};

template <typename T>
Value Capture(T value) {
  Value captured;
  if constexpr (std::is_pointer_v<T>) {
    using Pointee = std::remove_cv_t<std::remove_pointer_t<T>>;
    captured.bits = reinterpret_cast<std::uintptr_t>(value);
    if constexpr (std::is_arithmetic_v<Pointee>) {
      captured.size = sizeof(Pointee);
      captured.isSigned = std::is_signed_v<Pointee>;
    }
  } else {
    captured.bits = static_cast<std::uint64_t>(value);
    captured.size = sizeof(T);
    captured.isSigned = std::is_signed_v<T>;
  }
  return captured;
}

// Counts the call; true when it is to be recorded.
bool Counted();
// Records a call with the arguments read before it; returns its index.
std::size_t Enter(const char* name, const char* letters, const Value* arguments, std::size_t count);
// Completes call `index` with the arguments read after it and its result.
void Leave(std::size_t index, const Value* arguments, Value result);

// Whether `letter` can show a value of type T (see the letters above).
template <typename T>
constexpr bool LetterFits(char letter) {
  if constexpr (std::is_void_v<T>) {
    return letter == 'v';
  } else if constexpr (std::is_pointer_v<T>) {
    using Pointee = std::remove_cv_t<std::remove_pointer_t<T>>;
    constexpr bool text = std::is_same_v<Pointee, char> || std::is_same_v<Pointee, char16_t>;
    switch (letter) {
      case 's': return text;
      case 'w': return std::is_same_v<std::remove_pointer_t<T>, char16_t>;
      case 'n':
      case 'N': return std::is_integral_v<Pointee> && !text;
      case 'o': return std::is_pointer_v<Pointee>;
      case 'S': return std::is_class_v<Pointee>;
      case 'M':
      case 'D':
      case 'P': return std::is_same_v<Pointee, BYTE>;
      case 'h':
      case 'p':
      case 'm':
      case 'f': return true;
      default: return false;
    }
  } else {
    switch (letter) {
      case 'b':
      case 'c':
      case 'd':
      case 'x':
      case 'r':
      case 'l':
      case 'C':
      case 'T': return std::is_integral_v<T>;
      case 'p': return std::is_integral_v<T> && sizeof(T) == sizeof(void*);  // an LPARAM that carries a pointer
      default: return false;
    }
  }
}

// Whether `letters` show `function`'s result and each of its parameters.
template <typename R, typename... A>
constexpr bool Fits(R (*)(A...), const char* letters) {
  constexpr bool (*fits[])(char) = {&LetterFits<R>, &LetterFits<A>...};
  if (letters[0] == 0 || letters[1] != ':') return false;
  for (std::size_t i = 0; i < sizeof...(A) + 1; ++i) {
    const char letter = letters[i == 0 ? 0 : i + 1];
    if (letter == 0 || !fits[i](letter)) return false;
  }
  return letters[sizeof...(A) + 2] == 0;
}

template <auto Function, bool LettersFit>
class Traced;

template <typename R, typename... A, R (*Function)(A...), bool LettersFit>
class Traced<Function, LettersFit> {
  static_assert(LettersFit, "the trace letters do not fit the function's result and parameters");

 public:
  Traced(const char* name, const char* letters) : name_(name), letters_(letters) {}

  R operator()(A... args) const {
    if (!Counted()) return Function(args...);
    const std::array<Value, sizeof...(A)> values{Capture(args)...};
    const std::size_t index = Enter(name_, letters_, values.data(), values.size());
    if constexpr (std::is_void_v<R>) {
      Function(args...);
      Leave(index, values.data(), Value{});
    } else {
      const R result = Function(args...);
      Leave(index, values.data(), Capture(result));
      return result;
    }
  }

  // For ExitProcess, whose callers rely on its not returning.
  [[noreturn]] void NoReturn(A... args) const {
    (*this)(args...);
    std::abort();
  }

 private:
  const char* name_;
  const char* letters_;
};

}  // namespace winsim::trace

#define WINSIM_TRACED(function, letters) \
  winsim::trace::Traced<&::function, winsim::trace::Fits(&::function, letters)>(#function, letters)
