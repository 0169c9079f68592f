// The machine format: which fields each struct has under which name, which
// of them a file must give, and the checks across sections. The format is
// described field by field in docs/machine-format.md; keep the two together.
#include <winsim/machine_json.h>

#include <algorithm>

#include "machine_json_codec.h"

// One namespace for all of it, not an unnamed one inside: an overload there
// would hide the codec's of the same name.
namespace winsim::machine_json {

// Counts an aggregate's fields (the largest brace initializer it takes), so
// a field added to a saved struct breaks the build here. sizeof alone would
// miss a bool that lands in padding.
struct AnyField {
  template <typename T>
  operator T() const;
};
// Leaving fields out is the point of the probe.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
template <typename T, typename... A>
constexpr auto Initializes(int) -> decltype(T{std::declval<A>()...}, true) {
  return true;
}
#pragma GCC diagnostic pop
template <typename T, typename... A>
constexpr bool Initializes(...) {
  return false;
}
template <typename T, typename... A>
constexpr std::size_t FieldCount() {
  if constexpr (Initializes<T, A..., AnyField>(0)) {
    return FieldCount<T, A..., AnyField>();
  } else {
    return sizeof...(A);
  }
}

#define SAVED_FIELDS(T, n)                                              \
  static_assert(FieldCount<T>() == n, #T                                \
                " gained or lost a field: update machine_json.cpp and " \
                "docs/machine-format.md")
SAVED_FIELDS(Clock, 3);
SAVED_FIELDS(Event, 5);
SAVED_FIELDS(Fault, 2);
SAVED_FIELDS(FileVersion, 4);
SAVED_FIELDS(File, 7);
SAVED_FIELDS(FileHold, 4);
SAVED_FIELDS(FileSystem, 7);
SAVED_FIELDS(RegistryValue, 3);
SAVED_FIELDS(RegistryKey, 3);
SAVED_FIELDS(Registry, 1);
SAVED_FIELDS(Service, 14);
SAVED_FIELDS(Services, 2);
SAVED_FIELDS(Monitor, 3);
SAVED_FIELDS(Driver, 15);
SAVED_FIELDS(PrintJob, 2);
SAVED_FIELDS(Printer, 20);
SAVED_FIELDS(PrintEnvironment, 2);
SAVED_FIELDS(Spooler, 9);
SAVED_FIELDS(Window, 5);
SAVED_FIELDS(ModalLoop, 3);
SAVED_FIELDS(DialogRecord, 6);
SAVED_FIELDS(Desktop, 8);
SAVED_FIELDS(WindowsVersion, 4);
SAVED_FIELDS(ProgramProfile, 9);
SAVED_FIELDS(Process, 11);
SAVED_FIELDS(Handle, 7);
SAVED_FIELDS(HandleTable, 2);
SAVED_FIELDS(Mutex, 3);
#undef SAVED_FIELDS
// Machine has constructors, so only its size can be watched (on the
// platform the tests build on).
#if defined(__x86_64__) && defined(__GLIBCXX__) && !defined(_GLIBCXX_DEBUG)
static_assert(sizeof(Machine) == 1184,
              "Machine gained or lost a field: save and load it in machine_json.cpp and describe it in "
              "docs/machine-format.md");
#endif

// Deeper than any machine file; keeps dumping and walking a hostile input
// from recursing without bound.
constexpr int kMaxDepth = 32;

constexpr NamedConstant kRegistryTypes[] = {
    {REG_NONE, "REG_NONE"},     {REG_SZ, "REG_SZ"},       {REG_EXPAND_SZ, "REG_EXPAND_SZ"},
    {REG_BINARY, "REG_BINARY"}, {REG_DWORD, "REG_DWORD"}, {REG_MULTI_SZ, "REG_MULTI_SZ"},
    {REG_QWORD, "REG_QWORD"},
};
constexpr NamedConstant kServiceStates[] = {
    {SERVICE_STOPPED, "SERVICE_STOPPED"},
    {SERVICE_START_PENDING, "SERVICE_START_PENDING"},
    {SERVICE_STOP_PENDING, "SERVICE_STOP_PENDING"},
    {SERVICE_RUNNING, "SERVICE_RUNNING"},
    {SERVICE_CONTINUE_PENDING, "SERVICE_CONTINUE_PENDING"},
    {SERVICE_PAUSE_PENDING, "SERVICE_PAUSE_PENDING"},
    {SERVICE_PAUSED, "SERVICE_PAUSED"},
};

auto FoldedPath = [](const auto& record) { return FoldCase(record.path); };
auto FoldedName = [](const auto& record) { return FoldCase(record.name); };

// A case-insensitive key kept folded, whatever case a file writes it in.
template <typename S>
struct Folded {
  S& text;
};
template <typename S>
Folded<S> Fold(S& text) {
  return Folded<S>{text};
}
Json ToJson(const Folded<const std::u16string>& key) { return ToJson(key.text); }
void FromJson(const Json& j, const std::string& path, Folded<std::u16string> key) {
  FromJson(j, path, key.text);
  key.text = FoldCase(key.text);
}

// Registry value data as the type reads naturally: text, a list of texts, a
// number, or hex; {"hex": ...} for bytes the natural form cannot carry.
template <typename D, typename B>
struct TypedData {
  D& type;
  B& bytes;
};
template <typename D, typename B>
TypedData<D, B> Typed(D& type, B& bytes) {
  return TypedData<D, B>{type, bytes};
}
struct HexObject {
  std::vector<std::uint8_t> bytes;
};
template <typename V>
void Fields(V& v, Like<V, HexObject>& h) {
  v.Req("hex", Hex(h.bytes));
}

bool IsText(const std::u16string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == 0 || (c >= 0xDC00 && c < 0xE000)) return false;
    if (c >= 0xD800 && c < 0xDC00 && (++i == text.size() || text[i] < 0xDC00 || text[i] >= 0xE000)) return false;
  }
  return true;
}
std::u16string Utf16Of(const std::vector<BYTE>& bytes) {
  std::u16string text;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
    text.push_back(static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8));
  return text;
}
std::vector<BYTE> BytesOf(const std::u16string& text) {
  std::vector<BYTE> bytes;
  for (char16_t c : text) {
    bytes.push_back(static_cast<BYTE>(c & 0xFF));
    bytes.push_back(static_cast<BYTE>(c >> 8));
  }
  return bytes;
}
std::uint64_t LittleEndian(const std::vector<BYTE>& bytes) {
  std::uint64_t n = 0;
  for (std::size_t i = bytes.size(); i-- > 0;) n = n << 8 | bytes[i];
  return n;
}
std::vector<BYTE> LittleEndian(std::uint64_t n, std::size_t size) {
  std::vector<BYTE> bytes;
  for (std::size_t i = 0; i < size; ++i, n >>= 8) bytes.push_back(static_cast<BYTE>(n & 0xFF));
  return bytes;
}

template <typename D, typename B>
Json ToJson(const TypedData<D, B>& value) {
  const std::vector<BYTE>& bytes = value.bytes;
  switch (value.type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
      // Only text with exactly its terminator reads back to the same bytes.
      const std::u16string text = Utf16Of(bytes);
      if (bytes.size() % 2 == 0 && !text.empty() && text.back() == 0 && IsText(text.substr(0, text.size() - 1))) {
        return ToJson(text.substr(0, text.size() - 1));
      }
      break;
    }
    case REG_MULTI_SZ: {
      const std::vector<std::u16string> strings = MultiStrings(bytes);
      if (MultiStringBytes(strings) == bytes && std::all_of(strings.begin(), strings.end(), IsText)) {
        return ToJson(strings);
      }
      break;
    }
    case REG_DWORD:
      if (bytes.size() == 4) return LittleEndian(bytes);
      break;
    case REG_QWORD:
      if (bytes.size() == 8) return LittleEndian(bytes);
      break;
    default: return HexText(bytes);
  }
  return ToJson(HexObject{bytes});
}
void FromJson(const Json& j, const std::string& path, TypedData<DWORD, std::vector<BYTE>> value) {
  if (j.is_object()) {
    HexObject hex;
    FromJson(j, path, hex);
    value.bytes = hex.bytes;
    return;
  }
  switch (value.type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
      std::u16string text;
      FromJson(j, path, text);
      value.bytes = BytesOf(text + u'\0');
      return;
    }
    case REG_MULTI_SZ: {
      std::vector<std::u16string> strings;
      FromJson(j, path, strings);
      value.bytes = MultiStringBytes(strings);
      return;
    }
    case REG_DWORD: {
      DWORD n = 0;
      FromJson(j, path, n);
      value.bytes = LittleEndian(n, 4);
      return;
    }
    case REG_QWORD: {
      std::uint64_t n = 0;
      FromJson(j, path, n);
      value.bytes = LittleEndian(n, 8);
      return;
    }
    default: FromJson(j, path, Hex(value.bytes));
  }
}

// --- The fields of each struct, in the order they are written -------------

template <typename V>
void Fields(V& v, Like<V, Event>& e) {
  v.Req("at", e.at);
  v.Req("kind", e.kind);
  v.Opt("object", e.object);
  v.Opt("value", e.value);
  v.Opt("stamp", e.stamp);
}
template <typename V>
void Fields(V& v, Like<V, Clock>& c) {
  v.Opt("now", c.now);
  v.Opt("tickBase", c.tickBase);
  v.Opt("events", c.events);
}
template <typename V>
void Fields(V& v, Like<V, Fault>& f) {
  v.Req("error", f.error);
  v.Req("count", f.count);
}

template <typename V>
void Fields(V& v, Like<V, File>& f) {
  v.Req("path", f.path);
  v.Opt("data", Hex(f.data));
  v.Opt("version", f.version);
  v.Opt("attributes", f.attributes);
  v.Opt("damagedAt", f.damagedAt);
  v.Opt("deletePending", f.deletePending);
  v.Opt("monitorPorts", f.monitorPorts);
}
template <typename V>
void Fields(V& v, Like<V, FileHold>& h) {
  v.Req("id", h.id);
  v.Req("key", Fold(h.key));
  v.Opt("error", h.error);
  v.Req("process", h.process);
}
template <typename V>
void Fields(V& v, Like<V, FileSystem>& fs) {
  v.Opt("files", AsList(fs.files, KeyedBy<File>(FoldedPath)));
  v.Opt("dirs", AsList(fs.dirs, KeyedBy<std::u16string>([](const std::u16string& path) { return FoldCase(path); })));
  v.Opt("currentDirectory", fs.currentDirectory);
  v.Opt("diskCapacity", fs.diskCapacity);
  v.Opt("createFileDelay", fs.createFileDelay);
  v.Opt("holds", fs.holds);
  v.Opt("nextHoldId", fs.nextHoldId);
}

template <typename V>
void Fields(V& v, Like<V, RegistryValue>& r) {
  v.Req("name", r.name);
  v.Req("type", AsNamed(r.type, "a registry type", kRegistryTypes));
  v.Req("data", Typed(r.type, r.data));
}
template <typename V>
void Fields(V& v, Like<V, RegistryKey>& k) {
  v.Req("path", k.path);
  v.Opt("denied", k.denied);
  v.Opt("values", AsList(k.values, KeyedBy<RegistryValue>(FoldedName)));
}
template <typename V>
void Fields(V& v, Like<V, Registry>& r) {
  v.Opt("keys", AsList(r.keys, KeyedBy<RegistryKey>(FoldedPath)));
}

template <typename V>
void Fields(V& v, Like<V, Service>& s) {
  v.Opt("name", s.name);
  v.Opt("image", s.image);
  v.Req("state", AsNamed(s.state, "a service state", kServiceStates));
  v.Opt("autoStart", s.autoStart);
  v.Opt("stopMs", s.stopMs);
  v.Opt("startMs", s.startMs);
  v.Opt("stopRefusal", s.stopRefusal);
  v.Opt("startNeverCompletes", s.startNeverCompletes);
  v.Opt("openError", s.openError);
  v.Opt("grantableRights", s.grantableRights);
  v.Opt("stopsAccepted", s.stopsAccepted);
  v.Opt("startsAccepted", s.startsAccepted);
  v.Opt("transition", s.transition);
  v.Opt("process", s.process);
}
template <typename V>
void Fields(V& v, Like<V, Services>& s) {
  v.Opt("managerOpenError", s.managerOpenError);
  v.Opt("spooler", s.spooler);
}

template <typename V>
void Fields(V& v, Like<V, Monitor>& m) {
  v.Req("name", m.name);
  v.Opt("environment", m.environment);
  v.Req("dll", m.dll);
}
template <typename V>
void Fields(V& v, Like<V, Driver>& d) {
  v.Req("name", d.name);
  v.Opt("environment", d.environment);
  v.Opt("version", d.version);
  v.Opt("driverPath", d.driverPath);
  v.Opt("dataFile", d.dataFile);
  v.Opt("configFile", d.configFile);
  v.Opt("helpFile", d.helpFile);
  v.Opt("dependentFiles", d.dependentFiles);
  v.Opt("monitorName", d.monitorName);
  v.Opt("defaultDataType", d.defaultDataType);
  v.Opt("previousNames", d.previousNames);
  v.Opt("mfgName", d.mfgName);
  v.Opt("oemUrl", d.oemUrl);
  v.Opt("hardwareId", d.hardwareId);
  v.Opt("provider", d.provider);
}
template <typename V>
void Fields(V& v, Like<V, PrintJob>& j) {
  v.Req("id", j.id);
  v.Opt("document", j.document);
}

// Printer data: {"PRINTERDRIVERDATA": [values]}, keys kept folded.
template <typename M>
struct PrinterData {
  M& keys;
};
template <typename M>
PrinterData<M> DataKeys(M& keys) {
  return PrinterData<M>{keys};
}
template <typename M>
Json ToJson(const PrinterData<M>& data) {
  Json out = Json::object();
  for (const auto& [key, values] : data.keys)
    out[Narrow(key)] = ToJson(AsList(values, KeyedBy<RegistryValue>(FoldedName)));
  return out;
}
template <typename M>
void FromJson(const Json& j, const std::string& path, PrinterData<M> data) {
  if (!j.is_object()) Expected(path, "an object", j);
  data.keys.clear();
  for (const auto& member : j.items()) {
    const std::string at = path + "[\"" + member.key() + "\"]";
    const std::u16string key = FoldCase(Widen(member.key()));
    if (data.keys.count(key) != 0) Fail(at, "the same key as another, without regard to case");
    FromJson(member.value(), at, AsList(data.keys[key], KeyedBy<RegistryValue>(FoldedName)));
  }
}

template <typename V>
void Fields(V& v, Like<V, Printer>& p) {
  v.Req("name", p.name);
  v.Opt("shareName", p.shareName);
  v.Opt("port", p.port);
  v.Opt("driver", p.driver);
  v.Opt("comment", p.comment);
  v.Opt("location", p.location);
  v.Opt("sepFile", p.sepFile);
  v.Opt("printProcessor", p.printProcessor);
  v.Opt("datatype", p.datatype);
  v.Opt("parameters", p.parameters);
  v.Opt("attributes", p.attributes);
  v.Opt("priority", p.priority);
  v.Opt("defaultPriority", p.defaultPriority);
  v.Opt("startTime", p.startTime);
  v.Opt("untilTime", p.untilTime);
  v.Opt("status", p.status);
  v.Opt("averagePpm", p.averagePpm);
  v.Opt("jobs", p.jobs);
  v.Opt("data", DataKeys(p.data));
  v.Opt("deletePending", p.deletePending);
}
template <typename V>
void Fields(V& v, Like<V, PrintEnvironment>& e) {
  v.Req("name", e.name);
  v.Req("driverDirectory", e.driverDirectory);
}
template <typename V>
void Fields(V& v, Like<V, Spooler>& s) {
  v.Opt("monitors", s.monitors);
  v.Opt("drivers", s.drivers);
  v.Opt("printers", s.printers);
  v.Opt("defaultPrinter", s.defaultPrinter);
  v.Opt("printProcessors", s.printProcessors);
  v.Opt("environments", s.environments);
  v.Opt("stagedHoldMs", s.stagedHoldMs);
  v.Opt("grantableAccess", s.grantableAccess);
  v.Opt("nextJobId", s.nextJobId);
}

template <typename V>
void Fields(V& v, Like<V, std::pair<HWND, Window>>& entry) {
  Like<V, Window>& w = entry.second;
  v.Req("handle", entry.first);
  v.Opt("className", w.className);
  v.Opt("title", w.title);
  v.Opt("owner", w.owner);
  v.Opt("items", w.items);
  v.Opt("process", w.process);
}
template <typename V>
void Fields(V& v, Like<V, ModalLoop>& m) {
  v.Req("hwnd", m.hwnd);
  v.Opt("ended", m.ended);
  v.Opt("result", m.result);
}
template <typename V>
void Fields(V& v, Like<V, DialogRecord>& d) {
  v.Req("resource", d.resource);
  v.Opt("owner", d.owner);
  v.Opt("title", d.title);
  v.Opt("items", d.items);
  v.Opt("actions", d.actions);
  v.Opt("result", d.result);
}
template <typename V>
void Fields(V& v, Like<V, Desktop>& d) {
  v.Opt("windows", AsList(d.windows, KeyBeside<HWND, Window>()));
  v.Opt("nextHandle", d.nextHandle);
  v.Opt("hasDisplay", d.hasDisplay);
  v.Opt("shiftDown", d.shiftDown);
  v.Opt("dialogResources", d.dialogResources);
  v.Opt("script", d.script);
  v.Opt("dialogs", d.dialogs);
  v.Opt("modal", d.modal);
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

// Machine::memory is left out: its blocks are real memory of this process.
template <typename V>
void Fields(V& v, Like<V, Machine>& m) {
  v.Opt("clock", m.clock);
  v.Opt("lastError", m.lastError);
  v.Opt("faults", m.faults);
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
  for (const auto& [name, mutex] : m.mutexes) process("machine.mutexes[\"" + Narrow(name) + "\"].owner", mutex.owner);
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

std::string HexText(const std::vector<std::uint8_t>& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  bool literal = false;  // the last token is plain bytes, so more can join it
  for (std::size_t i = 0; i < bytes.size();) {
    std::size_t run = 1;
    while (i + run < bytes.size() && bytes[i + run] == bytes[i]) ++run;
    // A run is worth its "*n" from four bytes on.
    const bool asRun = run >= 4;
    if (!text.empty() && (asRun || !literal)) text += ' ';
    for (std::size_t k = 0; k < (asRun ? 1 : run); ++k) {
      text += digits[bytes[i] >> 4];
      text += digits[bytes[i] & 0xF];
    }
    if (asRun) text += "*" + std::to_string(run);
    literal = !asRun;
    i += run;
  }
  return text;
}

bool ParseHex(const std::string& text, std::vector<std::uint8_t>& bytes) {
  // More than any simulated file holds; a hostile count stays an error.
  constexpr std::size_t kMaxBytes = std::size_t{1} << 28;
  const auto nibble = [](char c) {
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
  };
  bytes.clear();
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == ' ' || text[i] == '\n') {
      ++i;
      continue;
    }
    if (i + 1 >= text.size() || nibble(text[i]) < 0 || nibble(text[i + 1]) < 0) return false;
    const auto byte = static_cast<std::uint8_t>(nibble(text[i]) << 4 | nibble(text[i + 1]));
    i += 2;
    std::size_t count = 1;
    if (i < text.size() && text[i] == '*') {
      const std::size_t start = ++i;
      count = 0;
      while (i < text.size() && text[i] >= '0' && text[i] <= '9' && count <= kMaxBytes) {
        count = count * 10 + static_cast<std::size_t>(text[i++] - '0');
      }
      if (i == start || count == 0 || (i < text.size() && text[i] != ' ' && text[i] != '\n')) return false;
    }
    if (count > kMaxBytes - bytes.size()) return false;
    bytes.insert(bytes.end(), count, byte);
  }
  return true;
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
