// The machine format's top level: the kernel's objects (clock, processes,
// handles, mutexes), the Machine itself, the checks across sections, and
// SaveMachine and LoadMachine. The sections are in machine_json_<subject>.cpp;
// each struct's fields are described in docs/machine-format.md.
#include <winsim/machine_json.h>

#include <algorithm>

#include "machine_json_codec.h"

namespace winsim::machine_json {

SAVED_FIELDS(Clock, 5);
SAVED_FIELDS(Event, 5);
SAVED_FIELDS(Fault, 4);
SAVED_FIELDS(WindowsVersion, 4);
SAVED_FIELDS(ProgramProfile, 9);
SAVED_FIELDS(Process, 11);
SAVED_FIELDS(Handle, 7);
SAVED_FIELDS(HandleTable, 2);
SAVED_FIELDS(Mutex, 3);
// Machine has constructors, so only its size can be watched (on the
// platform the tests build on).
#if defined(__x86_64__) && defined(__GLIBCXX__) && !defined(_GLIBCXX_DEBUG)
static_assert(sizeof(Machine) == 1448, "Machine gained or lost a field: save and load it in " __FILE__
                                       " and describe it in "
                                       "docs/machine-format.md");
#endif

// Deeper than any machine file; keeps dumping and walking a hostile input
// from recursing without bound.
constexpr int kMaxDepth = 32;

// --- The fields of each struct, in the order they are written -------------

template <typename V>
void Fields(V& v, Like<V, Event>& e) {
  v.Req("at", e.at);
  v.Req("kind", e.kind);
  v.Opt("object", e.object);
  v.Opt("value", e.value);
  v.Opt("stamp", e.stamp);
}
// The start as a person writes a UTC date and time: "2026-01-05 09:00:00".
template <typename S>
struct StartText {
  S& seconds;
};
template <typename S>
StartText<S> AsStartText(S& seconds) {
  return StartText<S>{seconds};
}
// "0042" from 42 and 4.
std::string Padded(int value, std::size_t width) {
  std::string text = std::to_string(value);
  return std::string(text.size() < width ? width - text.size() : 0, '0') + text;
}
Json ToJson(const StartText<const std::int64_t>& start) {
  const CivilTime t = CivilFromMilliseconds(start.seconds * 1000);
  return Padded(t.year, 4) + "-" + Padded(t.month, 2) + "-" + Padded(t.day, 2) + " " + Padded(t.hour, 2) + ":" +
         Padded(t.minute, 2) + ":" + Padded(t.second, 2);
}
void FromJson(const Json& j, const std::string& path, StartText<std::int64_t> start) {
  if (!j.is_string()) Expected(path, "a string", j);
  const std::string& text = j.get_ref<const std::string&>();
  // The shape first (digits where digits go), then the calendar.
  bool shaped = text.size() == 19;
  for (std::size_t i = 0; shaped && i < text.size(); ++i) {
    const char expected = i == 4 || i == 7 ? '-' : i == 10 ? ' ' : i == 13 || i == 16 ? ':' : '0';
    shaped = expected == '0' ? (text[i] >= '0' && text[i] <= '9') : text[i] == expected;
  }
  const auto number = [&text](std::size_t at, std::size_t length) {
    int value = 0;
    for (std::size_t i = at; i < at + length; ++i) value = value * 10 + (text[i] - '0');
    return value;
  };
  CivilTime t;
  std::int64_t ms = 0;
  if (shaped) {
    t.year = number(0, 4);
    t.month = number(5, 2);
    t.day = number(8, 2);
    t.hour = number(11, 2);
    t.minute = number(14, 2);
    t.second = number(17, 2);
  }
  if (!shaped || !MillisecondsFromCivil(t, ms)) {
    Fail(path, "expected a UTC date and time \"YYYY-MM-DD hh:mm:ss\" from 1601, found " + Shown(j));
  }
  start.seconds = ms / 1000;
}

// A time zone's bias in minutes, as far as Windows' zones reach: UTC+14:00
// (-840) to UTC-12:00 (720).
template <typename B>
struct Bias {
  B& minutes;
};
template <typename B>
Bias<B> AsBias(B& minutes) {
  return Bias<B>{minutes};
}
Json ToJson(const Bias<const std::int32_t>& bias) { return bias.minutes; }
void FromJson(const Json& j, const std::string& path, Bias<std::int32_t> bias) {
  FromJson(j, path, bias.minutes);  // a load that fails keeps nothing of the machine
  if (bias.minutes < -840 || bias.minutes > 720) {
    Fail(path, "expected a time zone bias in minutes from -840 to 720, found " + Shown(j));
  }
}

template <typename V>
void Fields(V& v, Like<V, Clock>& c) {
  v.Opt("now", c.now);
  v.Opt("tickBase", c.tickBase);
  v.Opt("start", AsStartText(c.start));
  v.Opt("timeZoneBias", AsBias(c.timeZoneBias));
  v.Opt("events", c.events);
}
template <typename V>
void Fields(V& v, Like<V, Fault>& f) {
  v.Req("error", f.error);
  v.Opt("count", f.count);
  v.Opt("skip", f.skip);
  v.Opt("result", f.result);
}

template <typename V>
void Fields(V& v, Like<V, WindowsVersion>& w) {
  v.Opt("major", w.major);
  v.Opt("minor", w.minor);
  v.Opt("build", w.build);
  v.Opt("platform", w.platform);
}
template <typename V>
void Fields(V& v, Like<V, Process>& p) {
  v.Req("id", p.id);
  v.Req("kind", p.kind);
  v.Opt("image", p.image);
  v.Opt("commandLine", p.commandLine);
  v.Opt("running", p.running);
  v.Opt("exitCode", p.exitCode);
  v.Opt("quitMessage", p.quitMessage);
  v.Opt("quitDelayMs", p.quitDelayMs);
  v.Opt("deaf", p.deaf);
  v.Opt("neverCloses", p.neverCloses);
  v.Opt("handlesLeftOpen", p.handlesLeftOpen);
}
template <typename V>
void Fields(V& v, Like<V, std::pair<std::uint64_t, Handle>>& entry) {
  Like<V, Handle>& h = entry.second;
  v.Req("value", entry.first);
  v.Req("kind", h.kind);
  v.Req("process", h.process);
  v.Opt("object", h.object);
  v.Opt("target", h.target);
  v.Opt("access", h.access);
  v.Opt("share", h.share);
  v.Opt("position", h.position);
}
template <typename V>
void Fields(V& v, Like<V, HandleTable>& t) {
  v.Opt("entries", AsList(t.entries, KeyBeside<std::uint64_t, Handle>()));
  v.Opt("next", t.next);
}
template <typename V>
void Fields(V& v, Like<V, Mutex>& m) {
  v.Opt("owner", m.owner);
  v.Opt("recursion", m.recursion);
  v.Opt("abandoned", m.abandoned);
}
template <typename V>
void Fields(V& v, Like<V, ProgramProfile>& p) {
  v.Req("fileName", p.fileName);
  v.Opt("mutexName", p.mutexName);
  v.Opt("windowClass", p.windowClass);
  v.Opt("windowTitle", p.windowTitle);
  v.Opt("quitMessage", p.quitMessage);
  v.Opt("quitDelayMs", p.quitDelayMs);
  v.Opt("deaf", p.deaf);
  v.Opt("windowless", p.windowless);
  v.Opt("neverCloses", p.neverCloses);
}

// Machine::memory is left out: its blocks are real memory of this process;
// so is Machine::calls, a count of this session.
template <typename V>
void Fields(V& v, Like<V, Machine>& m) {
  v.Opt("clock", m.clock);
  v.Opt("lastError", m.lastError);
  v.Opt("faults", m.faults);
  v.Opt("anyCallFault", m.anyCallFault);
  v.Opt("files", m.files);
  v.Opt("registry", m.registry);
  v.Opt("services", m.services);
  v.Opt("spooler", m.spooler);
  v.Opt("desktop", m.desktop);
  v.Opt("version", m.version);
  v.Opt("processes", AsList(m.processes, KeyedBy<Process>([](const Process& p) { return p.id; })));
  v.Opt("nextProcessId", m.nextProcessId);
  v.Opt("caller", m.caller);
  v.Opt("handles", m.handles);
  v.Opt("mutexes", m.mutexes);
  v.Opt("programs", m.programs);
  v.Opt("systemDirectory", m.systemDirectory);
}

// --- Checks across sections -----------------------------------------------

// Every process a record names exists; the counters that hand out handles,
// ids and process ids are above every one in use, so none is handed out twice.
void CheckReferences(const Json& root, const Machine& m) {
  // 0 is "none" only where it is the field's default.
  auto process = [&m](const std::string& path, DWORD id, bool noneAllowed = true) {
    if ((id != 0 || !noneAllowed) && m.processes.count(id) == 0) Fail(path, "no process " + std::to_string(id));
  };
  if (m.processes.count(m.caller) == 0) Fail("machine.caller", "no process " + std::to_string(m.caller));
  process("machine.services.spooler.process", m.services.spooler.process);
  for (const auto& [name, mutex] : m.mutexes)
    process(MemberPath("machine.mutexes", Narrow(name)) + ".owner", mutex.owner);
  // Records of maps are checked as the file lists them, so the index in the
  // error is the file's.
  const auto records = [&root, &process](const char* section, const char* list, const char* field, bool noneAllowed) {
    if (!root.contains(section) || !root.at(section).contains(list)) return;
    const Json& items = root.at(section).at(list);
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (!items[i].contains(field)) continue;
      process("machine." + std::string(section) + "." + list + "[" + std::to_string(i) + "]." + field,
              items[i].at(field).get<DWORD>(), noneAllowed);
    }
  };
  records("handles", "entries", "process", false);
  records("files", "holds", "process", false);
  records("desktop", "windows", "process", true);

  const auto above = [](const char* path, std::uint64_t next, std::uint64_t largest, const char* what) {
    if (next <= largest) Fail(path, "must be above " + std::to_string(largest) + ", the largest " + what);
  };
  if (!m.handles.entries.empty()) {
    above("machine.handles.next", m.handles.next, m.handles.entries.rbegin()->first, "handle value");
  }
  above("machine.nextProcessId", m.nextProcessId, m.processes.empty() ? 0 : m.processes.rbegin()->first, "process id");
  for (const FileHold& hold : m.files.holds) {
    above("machine.files.nextHoldId", static_cast<std::uint64_t>(std::max(m.files.nextHoldId, 0)),
          static_cast<std::uint64_t>(std::max(hold.id, 0)), "hold id");
  }
  if (!m.desktop.windows.empty()) {
    above("machine.desktop.nextHandle", m.desktop.nextHandle,
          reinterpret_cast<std::uintptr_t>(m.desktop.windows.rbegin()->first), "window handle");
  }
}

}  // namespace winsim::machine_json

namespace winsim {

std::string SaveMachine(const Machine& machine) {
  // Text that is not well-formed UTF-16 (a lone surrogate) is written with
  // U+FFFD rather than making the file unreadable.
  return machine_json::ToJson(machine).dump(2, ' ', false, machine_json::Json::error_handler_t::replace) + "\n";
}

std::unique_ptr<Machine> LoadMachine(const std::string& json, std::string& error) {
  using namespace machine_json;
  try {
    const Json root = Json::parse(json, [](int depth, Json::parse_event_t, Json&) {
      if (depth > kMaxDepth) throw LoadError{"machine: nested deeper than " + std::to_string(kMaxDepth) + " levels"};
      return true;
    });
    auto machine = std::make_unique<Machine>();
    FromJson(root, "machine", *machine);
    CheckReferences(root, *machine);
    error.clear();
    return machine;
  } catch (const LoadError& e) {
    error = e.message;
  } catch (const Json::parse_error& e) {
    // nlohmann's own words, without its "[json.exception.parse_error.101] ".
    const std::string what = e.what();
    error = "machine: not JSON: " + what.substr(what.find("] ") == std::string::npos ? 0 : what.find("] ") + 2);
  } catch (const std::exception& e) {
    error = std::string("machine: ") + e.what();
  }
  return nullptr;
}

}  // namespace winsim
