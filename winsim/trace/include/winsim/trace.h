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
// The letters say how a call is shown: the result's, ':', one per parameter
// (kLetters below). The call's buffers are never read before the call fills
// them.
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

// Where a letter stands: first, for the result, or after the ':'.
enum class Place : std::uint8_t { Result, Parameter };

// The types a letter can show.
enum class Fit : std::uint8_t {
  Nothing,          // void
  Integer,          // any integer type
  Text,             // a pointer to char or char16_t
  WideBuffer,       // a pointer to writable char16_t
  NumberPointer,    // a pointer to an integer that is no character
  HandlePointer,    // a pointer to a pointer
  RecordPointer,    // a pointer to a struct
  BytePointer,      // a BYTE pointer that holds an info record
  Pointer,          // any pointer
  PointerOrLParam,  // any pointer, or an integer of a pointer's size
};

// When a parameter is read: a result is read after the call.
enum class Read : std::uint8_t { Before, After, BeforeAndAfter };

// How a value is shown.
enum class Shown : std::uint8_t {
  Nothing,         // (no text)
  Truth,           // FALSE / TRUE
  TruthOrNumber,   // FALSE / TRUE, another value as its number
  Number,          // 42, -1
  Level,           // 2; the info records after it are of this level
  Hex,             // 0x1f
  Handle,          // NULL, INVALID_HANDLE_VALUE, HKEY_LOCAL_MACHINE, 0x10010
  String,          // "text", cut after 120 characters; NULL; #101 for a resource number
  Pointer,         // NULL, block#1 for a heap block, else ptr
  NewBlock,        // as Pointer; the block is numbered from now on
  FreedBlock,      // as Pointer; the first parameter's block is forgotten
  ServiceControl,  // SERVICE_CONTROL_STOP
  RegistryType,    // REG_SZ
  MonitorInfo,     // {name "x", environment "y", dll "z"} at level 2
  DriverInfo,      // {version 3, name "x", ...} at levels 2 to 6
  PrinterInfo,     // {name "x", port "y", ...} at level 2
  InOutNumber,     // &4, &4->7 when the call changed it
  OutNumber,       // &7
  OutHandle,       // &0x10010
  OutString,       // &"text", of the result's length; the next parameter is its capacity
  ServiceStatus,   // &{SERVICE_RUNNING}
};

// Which result means the call failed.
enum class Failure : std::uint8_t { Never, Zero, NotZero, NullOrInvalid, AllBits, MinusOne };

// One letter in one place.
struct Letter {
  char letter;
  Place place;
  Fit fit;
  Read read;
  Shown shown;
  Failure failure;  // results only
  bool showsError;  // results: the last error is shown when the call failed or changed it
  const char* what;
};

// letter, place, the types it fits, when it is read, how it is shown,
// which result fails, whether the last error is shown, what it is.
inline constexpr Letter kLetters[] = {
    {'b', Place::Result, Fit::Integer, Read::After, Shown::Truth, Failure::Zero, true, "BOOL"},
    {'h', Place::Result, Fit::Pointer, Read::After, Shown::Handle, Failure::NullOrInvalid, true, "handle"},
    {'m', Place::Result, Fit::Pointer, Read::After, Shown::NewBlock, Failure::Zero, true, "new heap block"},
    {'f', Place::Result, Fit::Pointer, Read::After, Shown::FreedBlock, Failure::NotZero, true, "freed heap block"},
    {'r', Place::Result, Fit::Integer, Read::After, Shown::Number, Failure::Never, false,
     "status that is the error itself"},
    {'c', Place::Result, Fit::Integer, Read::After, Shown::Number, Failure::Zero, true, "count"},
    {'x', Place::Result, Fit::Integer, Read::After, Shown::Hex, Failure::AllBits, true, "hex number"},
    {'d', Place::Result, Fit::Integer, Read::After, Shown::Number, Failure::MinusOne, true, "number"},
    {'s', Place::Result, Fit::Text, Read::After, Shown::String, Failure::Never, true, "string"},
    {'v', Place::Result, Fit::Nothing, Read::After, Shown::Nothing, Failure::Never, false, "nothing"},
    {'s', Place::Parameter, Fit::Text, Read::Before, Shown::String, Failure::Never, true, "string"},
    {'d', Place::Parameter, Fit::Integer, Read::Before, Shown::Number, Failure::Never, true, "number"},
    {'x', Place::Parameter, Fit::Integer, Read::Before, Shown::Hex, Failure::Never, true, "hex number"},
    {'b', Place::Parameter, Fit::Integer, Read::Before, Shown::TruthOrNumber, Failure::Never, true, "BOOL"},
    {'h', Place::Parameter, Fit::Pointer, Read::Before, Shown::Handle, Failure::Never, true, "handle"},
    {'p', Place::Parameter, Fit::PointerOrLParam, Read::Before, Shown::Pointer, Failure::Never, true,
     "pointer, never read; also an LPARAM"},
    {'l', Place::Parameter, Fit::Integer, Read::Before, Shown::Level, Failure::Never, true, "info level"},
    {'M', Place::Parameter, Fit::BytePointer, Read::Before, Shown::MonitorInfo, Failure::Never, true, "MONITOR_INFO_2"},
    {'D', Place::Parameter, Fit::BytePointer, Read::Before, Shown::DriverInfo, Failure::Never, true,
     "DRIVER_INFO_2..6"},
    {'P', Place::Parameter, Fit::BytePointer, Read::Before, Shown::PrinterInfo, Failure::Never, true, "PRINTER_INFO_2"},
    {'C', Place::Parameter, Fit::Integer, Read::Before, Shown::ServiceControl, Failure::Never, true, "service control"},
    {'T', Place::Parameter, Fit::Integer, Read::Before, Shown::RegistryType, Failure::Never, true, "registry type"},
    {'n', Place::Parameter, Fit::NumberPointer, Read::After, Shown::OutNumber, Failure::Never, true, "out number"},
    {'N', Place::Parameter, Fit::NumberPointer, Read::BeforeAndAfter, Shown::InOutNumber, Failure::Never, true,
     "in-out number"},
    {'o', Place::Parameter, Fit::HandlePointer, Read::After, Shown::OutHandle, Failure::Never, true, "out handle"},
    {'w', Place::Parameter, Fit::WideBuffer, Read::After, Shown::OutString, Failure::Never, true, "out string"},
    {'S', Place::Parameter, Fit::RecordPointer, Read::After, Shown::ServiceStatus, Failure::Never, true,
     "out SERVICE_STATUS"},
};

// A letter has one row in each place, and a result is read after the call.
constexpr bool LettersAreOnce() {
  const std::size_t count = sizeof kLetters / sizeof kLetters[0];
  for (std::size_t i = 0; i < count; ++i) {
    if (kLetters[i].place == Place::Result && kLetters[i].read != Read::After) return false;
    for (std::size_t j = 0; j < count; ++j) {
      if (j != i && kLetters[j].letter == kLetters[i].letter && kLetters[j].place == kLetters[i].place) return false;
    }
  }
  return true;
}
static_assert(LettersAreOnce(), "each letter once in each place; results are read after the call");

// `letter`'s row in `place`, or null.
// By index, not through a pointer or reference: GCC cannot evaluate
// UBSan's null checks of a reference in a constant expression.
constexpr std::size_t kNoLetter = sizeof kLetters / sizeof kLetters[0];
constexpr std::size_t LetterIndex(char letter, Place place) {
  for (std::size_t i = 0; i < kNoLetter; ++i) {
    if (kLetters[i].letter == letter && kLetters[i].place == place) return i;
  }
  return kNoLetter;
}
inline const Letter* FindLetter(char letter, Place place) {
  const std::size_t i = LetterIndex(letter, place);
  return i == kNoLetter ? nullptr : &kLetters[i];
}

// Whether a value of type T is of the types `fit` names.
template <typename T>
constexpr bool TypeFits(Fit fit) {
  if constexpr (std::is_void_v<T>) {
    return fit == Fit::Nothing;
  } else if constexpr (std::is_pointer_v<T>) {
    using Pointee = std::remove_cv_t<std::remove_pointer_t<T>>;
    constexpr bool text = std::is_same_v<Pointee, char> || std::is_same_v<Pointee, char16_t>;
    switch (fit) {
      case Fit::Text: return text;
      case Fit::WideBuffer: return std::is_same_v<std::remove_pointer_t<T>, char16_t>;
      case Fit::NumberPointer: return std::is_integral_v<Pointee> && !text;
      case Fit::HandlePointer: return std::is_pointer_v<Pointee>;
      case Fit::RecordPointer: return std::is_class_v<Pointee>;
      case Fit::BytePointer: return std::is_same_v<Pointee, BYTE>;
      case Fit::Pointer:
      case Fit::PointerOrLParam: return true;
      default: return false;
    }
  } else {
    switch (fit) {
      case Fit::Integer: return std::is_integral_v<T>;
      case Fit::PointerOrLParam: return std::is_integral_v<T> && sizeof(T) == sizeof(void*);
      default: return false;
    }
  }
}

// Whether `letter` in `place` can show a value of type T.
template <typename T>
constexpr bool LetterFits(char letter, Place place) {
  const std::size_t i = LetterIndex(letter, place);
  return i != kNoLetter && TypeFits<T>(kLetters[i].fit);
}

// Whether `letters` show `function`'s result and each of its parameters.
template <typename R, typename... A>
constexpr bool Fits(R (*)(A...), const char* letters) {
  if (letters[0] == 0 || letters[1] != ':' || !LetterFits<R>(letters[0], Place::Result)) return false;
  std::size_t i = 2;
  const bool parameters = ((letters[i] != 0 && LetterFits<A>(letters[i++], Place::Parameter)) && ...);
  return parameters && letters[i] == 0;
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
