// The trace of a program's calls: what Traced hands over, shown as a person
// reads it. Kept outside the Machine: it is an observer's view, not state.
#include <winsim/trace.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <map>

#include <windows.h>
#include <winspool.h>
#include <winsim/constant_names.h>
#include <winsim/machine.h>
#include <winsim/text_format.h>

namespace winsim::trace {

namespace {

constexpr std::size_t kShownChars = 120;  // a string is cut after these

// An open call: what its completion needs.
struct Open {
  // cppcheck-suppress unusedStructMember ; read when the call completes (Leave)
  std::size_t index;
  const char* letters;
  DWORD errorBefore;
};

struct Recorder {
  std::uint64_t count = 0;
  bool recording = false;
  std::vector<CallRecord> calls;
  std::vector<Open> open;  // innermost last
  // Heap blocks by address, numbered as they were handed out, so that a
  // trace reads the same on every run.
  std::map<std::uint64_t, int> blocks;
  int nextBlock = 1;
};

Recorder& State() {
  static Recorder recorder;
  return recorder;
}

// The number as its type has it: sign and width.
std::int64_t Signed(const Value& value) {
  switch (value.size) {
    case 1: return static_cast<std::int8_t>(value.bits);
    case 2: return static_cast<std::int16_t>(value.bits);
    case 4: return static_cast<std::int32_t>(value.bits);
    default: return static_cast<std::int64_t>(value.bits);
  }
}

std::uint64_t Unsigned(const Value& value) {
  return value.size >= 8 ? value.bits : value.bits & ((std::uint64_t{1} << (value.size * 8)) - 1);
}

std::string Number(const Value& value) {
  return value.isSigned ? std::to_string(Signed(value)) : std::to_string(Unsigned(value));
}

// The number a pointer of `value`'s kind points to.
Value Pointee(const Value& pointer) {
  Value number{0, pointer.size, pointer.isSigned};
  std::memcpy(&number.bits, reinterpret_cast<const void*>(pointer.bits), pointer.size);
  return number;
}

// The first `length` characters, quoted and cut as a trace shows them.
template <typename C>
std::string Excerpt(const C* text, std::size_t length) {
  std::u16string wide;
  for (std::size_t i = 0; i < std::min(length, kShownChars); ++i) {
    wide.push_back(static_cast<char16_t>(static_cast<std::make_unsigned_t<C>>(text[i])));
  }
  return Quoted(Narrow(wide)) + (length > kShownChars ? "..." : "");
}

// A zero-terminated string, read no further than it is shown. Values below
// 0x10000 are resource or atom numbers (MAKEINTRESOURCE), not addresses.
template <typename C>
std::string String(std::uint64_t address) {
  if (address == 0) return "NULL";
  if (address < 0x10000) return "#" + std::to_string(address);
  const C* text = reinterpret_cast<const C*>(address);
  std::size_t length = 0;
  while (length <= kShownChars && text[length] != 0) ++length;
  return Excerpt(text, length);
}

std::string StringOf(const Value& value) {
  return value.size == 1 ? String<char>(value.bits) : String<char16_t>(value.bits);
}

std::string Handle(std::uint64_t value) {
  if (value == 0) return "NULL";
  if (value == HandleValue(INVALID_HANDLE_VALUE)) return "INVALID_HANDLE_VALUE";
  for (const RegistryRoot& root : RegistryRoots()) {
    if (value == HandleValue(root.handle)) return Narrow(root.name);
  }
  return Hex(value);
}

std::string Pointer(std::uint64_t value) {
  if (value == 0) return "NULL";
  const auto block = State().blocks.find(value);
  return block == State().blocks.end() ? "ptr" : "block#" + std::to_string(block->second);
}

template <std::size_t N>
std::string Named(const NamedConstant (&table)[N], const Value& value) {
  const char* name = ConstantName(table, static_cast<DWORD>(value.bits));
  return name != nullptr ? name : Number(value);
}

// Labelled strings of an info record: {name "x", port "y"}.
std::string Fields(std::initializer_list<std::pair<const char*, LPCWSTR>> fields) {
  std::string shown;
  for (const auto& [label, text] : fields) {
    shown += (shown.empty() ? "{" : ", ") + std::string(label) + " " + String<char16_t>(HandleValue(text));
  }
  return shown + "}";
}

// An info record the spooler reads, at the level the call names.
std::string Info(Shown shown, const Value& value, std::uint64_t level) {
  if (value.bits == 0) return "NULL";
  const void* record = reinterpret_cast<const void*>(value.bits);
  if (shown == Shown::MonitorInfo && level == 2) {
    const auto* info = static_cast<const MONITOR_INFO_2W*>(record);
    return Fields({{"name", info->pName}, {"environment", info->pEnvironment}, {"dll", info->pDLLName}});
  }
  if (shown == Shown::DriverInfo && level >= 2 && level <= 6) {
    // Levels 2 to 6 begin as DRIVER_INFO_2 does.
    const auto* info = static_cast<const DRIVER_INFO_2W*>(record);
    return "{version " + std::to_string(info->cVersion) + ", " +
           Fields({{"name", info->pName},
                   {"environment", info->pEnvironment},
                   {"driver", info->pDriverPath},
                   {"data", info->pDataFile},
                   {"config", info->pConfigFile}})
               .substr(1);
  }
  if (shown == Shown::PrinterInfo && level == 2) {
    const auto* info = static_cast<const PRINTER_INFO_2W*>(record);
    return Fields({{"name", info->pPrinterName},
                   {"port", info->pPortName},
                   {"driver", info->pDriverName},
                   {"comment", info->pComment},
                   {"location", info->pLocation}});
  }
  return Pointer(value.bits);
}

// The row of `letter`; letters the table lacks show nothing.
const Letter& Use(char letter, Place place) {
  static constexpr Letter kUnknown{
      0, Place::Parameter, Fit::Nothing, Read::Before, Shown::Nothing, Failure::Never, false, ""};
  const Letter* row = FindLetter(letter, place);
  return row != nullptr ? *row : kUnknown;
}

// A value as it is: a parameter before the call, or the result.
std::string Show(Shown shown, const Value& value, std::uint64_t level) {
  switch (shown) {
    case Shown::Truth: return value.bits == 0 ? "FALSE" : "TRUE";
    case Shown::TruthOrNumber: return value.bits == 0 ? "FALSE" : value.bits == 1 ? "TRUE" : Number(value);
    case Shown::Number:
    case Shown::Level: return Number(value);
    case Shown::Hex: return Hex(Unsigned(value));
    case Shown::Handle: return Handle(value.bits);
    case Shown::String: return StringOf(value);
    case Shown::Pointer:
    case Shown::NewBlock:
    case Shown::FreedBlock: return Pointer(value.bits);
    case Shown::ServiceControl: return Named(kServiceControls, value);
    case Shown::RegistryType: return Named(kRegistryTypes, value);
    case Shown::MonitorInfo:
    case Shown::DriverInfo:
    case Shown::PrinterInfo: return Info(shown, value, level);
    case Shown::InOutNumber: return value.bits == 0 ? "NULL" : "&" + Number(Pointee(value));
    default: return std::string();
  }
}

// An argument as it is before the call; empty for one read after it.
std::string Before(const Letter& use, const Value& value, std::uint64_t level) {
  return use.read == Read::After ? std::string() : Show(use.shown, value, level);
}

bool Failed(const Letter& use, const Value& result) {
  switch (use.failure) {
    case Failure::NullOrInvalid: return result.bits == 0 || result.bits == HandleValue(INVALID_HANDLE_VALUE);
    case Failure::Zero: return result.bits == 0;
    case Failure::NotZero: return result.bits != 0;
    case Failure::AllBits: return Unsigned(result) == Unsigned(Value{~std::uint64_t{0}, result.size, false});
    case Failure::MinusOne: return Signed(result) == -1;
    case Failure::Never: return false;
  }
  return false;
}

// An argument the call filled, as it is after the call.
std::string After(const Letter& use, const std::string& before, const Value& value, const Value* next,
                  const Value& result, bool failed) {
  if (use.read == Read::Before) return before;
  if (value.bits == 0) return before.empty() ? "NULL" : before;
  switch (use.shown) {
    case Shown::OutNumber: return "&" + Number(Pointee(value));
    case Shown::InOutNumber: {
      const std::string now = Number(Pointee(value));
      return before == "&" + now ? before : before + "->" + now;
    }
    case Shown::OutHandle:
      if (!failed) return "&" + Handle(*reinterpret_cast<const std::uint64_t*>(value.bits));
      break;
    case Shown::OutString:
      // Such calls return the length they wrote, or at least the capacity
      // when the string did not fit.
      if (!failed && next != nullptr && Unsigned(result) < Unsigned(*next)) {
        return "&" + Excerpt(reinterpret_cast<const char16_t*>(value.bits), Unsigned(result));
      }
      break;
    case Shown::ServiceStatus:
      if (!failed) {
        const auto* status = reinterpret_cast<const SERVICE_STATUS*>(value.bits);
        return "&{" + Named(kServiceStates, Value{status->dwCurrentState, 4, false}) + "}";
      }
      break;
    default: return before;
  }
  return Pointer(value.bits);
}

}  // namespace

void StartRecording(bool record) {
  State() = Recorder();
  State().recording = record;
}

std::uint64_t CallCount() { return State().count; }

const std::vector<CallRecord>& Calls() { return State().calls; }

bool Counted() {
  ++State().count;
  return State().recording;
}

std::size_t Enter(const char* name, const char* letters, const Value* arguments, std::size_t count) {
  Recorder& state = State();
  CallRecord call;
  call.at = Current().clock.now;
  call.depth = state.open.size();
  call.name = name;
  std::uint64_t level = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const Letter& use = Use(letters[i + 2], Place::Parameter);
    call.arguments.push_back(Before(use, arguments[i], level));
    if (use.shown == Shown::Level) level = arguments[i].bits;
  }
  state.calls.push_back(std::move(call));
  state.open.push_back(Open{state.calls.size() - 1, letters, Current().lastError});
  return state.calls.size() - 1;
}

void Leave(std::size_t index, const Value* arguments, Value result) {
  Recorder& state = State();
  // Calls left open inside this one ended their process: they never return.
  while (!state.open.empty() && state.open.back().index > index) state.open.pop_back();
  if (state.open.empty() || state.open.back().index != index) return;
  const Open open = state.open.back();
  state.open.pop_back();
  CallRecord& call = state.calls[index];
  const Letter& kind = Use(open.letters[0], Place::Result);
  const bool failed = Failed(kind, result);
  for (std::size_t i = 0; i < call.arguments.size(); ++i) {
    const Value* next = i + 1 < call.arguments.size() ? &arguments[i + 1] : nullptr;
    call.arguments[i] =
        After(Use(open.letters[i + 2], Place::Parameter), call.arguments[i], arguments[i], next, result, failed);
  }
  if (kind.shown == Shown::NewBlock && !failed) state.blocks[result.bits] = state.nextBlock++;
  if (kind.shown == Shown::FreedBlock && !failed) state.blocks.erase(arguments[0].bits);
  call.result = Show(kind.shown, result, 0);
  call.returned = true;
  const DWORD error = Current().lastError;
  if (kind.showsError && (failed || error != open.errorBefore)) call.error = error;
}

std::string Line(const CallRecord& call) {
  char time[32];
  (void)std::snprintf(time, sizeof time, "[%4" PRIu64 ".%03" PRIu64 "] ", call.at / 1000, call.at % 1000);
  std::string line = time + std::string(call.depth * 2, ' ') + call.name + "(";
  for (std::size_t i = 0; i < call.arguments.size(); ++i) line += (i == 0 ? "" : ", ") + call.arguments[i];
  line += ")";
  if (!call.returned) line += " never returned: the process ended in it";
  if (!call.result.empty()) line += " = " + call.result;
  if (call.error) line += ", error " + std::to_string(*call.error);
  return line;
}

}  // namespace winsim::trace
