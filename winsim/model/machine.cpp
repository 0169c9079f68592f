#include <winsim/machine.h>

#include <algorithm>
#include <cstdlib>

namespace winsim {

namespace {
std::unique_ptr<Machine>& Slot() {
  static std::unique_ptr<Machine> machine = NewMachine();
  return machine;
}
}  // namespace

Machine& Current() { return *Slot(); }

void SetCurrent(std::unique_ptr<Machine> machine) { Slot() = std::move(machine); }

std::u16string FoldCase(const std::u16string& text) {
  std::u16string folded = text;
  for (auto& c : folded) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  }
  return folded;
}

bool SameFolded(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return false;
  auto fold = [](char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c; };
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

std::u16string Widen(const std::string& utf8) {
  std::u16string out;
  for (std::size_t i = 0; i < utf8.size();) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    char32_t cp;
    int extra;
    if (c < 0x80) {
      cp = c;
      extra = 0;
    } else if ((c >> 5) == 6) {
      cp = c & 0x1F;
      extra = 1;
    } else if ((c >> 4) == 14) {
      cp = c & 0x0F;
      extra = 2;
    } else {
      cp = c & 0x07;
      extra = 3;
    }
    ++i;
    for (int k = 0; k < extra && i < utf8.size(); ++k, ++i) {
      cp = (cp << 6) | (static_cast<unsigned char>(utf8[i]) & 0x3F);
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

std::string Narrow(const std::u16string& utf16) {
  std::string out;
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    char32_t cp = utf16[i];
    const bool paired =
        cp >= 0xD800 && cp < 0xDC00 && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] < 0xE000;
    if (paired) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[++i] - 0xDC00);
    } else if (cp >= 0xD800 && cp < 0xE000) {
      cp = 0xFFFD;  // half a pair, as Windows' UTF-8 conversion shows it
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

Machine::Machine() {
  Process system;
  system.id = kSystemProcess;
  system.kind = ProgramKind::System;
  system.image = u"System";
  processes[kSystemProcess] = system;
  caller = kSystemProcess;
}

Machine::~Machine() {
  for (auto& block : memory.globalBlocks) std::free(block.first);
  for (auto& block : memory.localBlocks) std::free(block.first);
}

std::unique_ptr<Machine> Machine::Copy() const {
  std::unique_ptr<Machine> copy(new Machine(*this));
  copy->memory = Memory();
  return copy;
}

void Machine::FailNext(const std::string& api, DWORD error, int count) { faults[api] = Fault{error, count, 0, {}}; }

void Machine::FailCallOf(const std::string& api, DWORD call, DWORD error, int count) {
  faults[api] = Fault{error, count, call > 0 ? call - 1 : 0, {}};
}

void Machine::FailCall(DWORD call, DWORD error, int count) {
  anyCallFault = Fault{error, count, call > 0 ? call - 1 : 0, {}};
}

namespace {

// One call as `fault` sees it: true when the call is one it fails. A fault
// that has failed its last call is spent.
bool Sees(Fault& fault, bool& spent) {
  spent = false;
  if (fault.count <= 0) return false;
  if (fault.skip > 0) {
    --fault.skip;
    return false;
  }
  spent = --fault.count == 0;
  return true;
}

}  // namespace

std::optional<Fault> Machine::TakeFault(const char* api) {
  ++calls;
  std::optional<Fault> fails;
  bool spent = false;
  if (anyCallFault && Sees(*anyCallFault, spent)) {
    fails = *anyCallFault;
    if (spent) anyCallFault.reset();
  }
  const auto it = faults.find(api);
  if (it != faults.end() && Sees(it->second, spent)) {
    if (!fails) fails = it->second;
    if (spent) faults.erase(it);
  }
  if (fails) lastError = fails->error;
  return fails;
}

std::unique_ptr<Machine> NewMachine() {
  auto m = std::make_unique<Machine>();
  m->files.AddDirectory(m->systemDirectory);
  // The machine-wide application data folder (CSIDL_COMMON_APPDATA).
  m->files.AddDirectory(u"C:\\ProgramData");
  for (const auto& environment : m->spooler.environments) m->files.AddDirectory(environment.driverDirectory);
  // The local port monitor and the ports it provides on a fresh Windows.
  File& localspl = m->files.Put(m->systemDirectory + u"\\localspl.dll", std::vector<std::uint8_t>(100, 1),
                                FileVersion{10, 0, 19041, 1});
  localspl.monitorPorts =
      std::vector<std::u16string>{u"LPT1:", u"LPT2:", u"LPT3:", u"COM1:", u"COM2:", u"FILE:", u"PORTPROMPT:", u"nul:"};
  m->spooler.monitors.push_back(Monitor{u"Local Port", u"Windows x64", u"localspl.dll"});
  m->files.Put(m->services.spooler.image, std::vector<std::uint8_t>(100, 2), FileVersion{10, 0, 19041, 1});
  m->services.spooler.state = SERVICE_STOPPED;
  EnterServiceState(*m, SERVICE_RUNNING);
  return m;
}

}  // namespace winsim
