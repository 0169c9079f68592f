// The kernel model: the handle table, processes and how they end, the
// spooler service's process, the events of the clock, and the restart.
#include <winsim/machine.h>

#include <algorithm>

namespace winsim {

std::uint64_t HandleTable::Add(const Handle& handle) {
  const std::uint64_t value = next;
  next += 4;
  entries[value] = handle;
  return value;
}

Handle* HandleTable::Find(std::uint64_t value, HandleKind kind, DWORD process) {
  auto it = entries.find(value);
  if (it == entries.end() || it->second.kind != kind || it->second.process != process) return nullptr;
  return &it->second;
}

std::size_t HandleTable::CountOf(DWORD process) const {
  return static_cast<std::size_t>(
      std::count_if(entries.begin(), entries.end(), [process](const auto& e) { return e.second.process == process; }));
}

Process* Machine::FindProcess(DWORD id) {
  auto it = processes.find(id);
  return it == processes.end() ? nullptr : &it->second;
}

void Machine::Advance(std::uint64_t ms) {
  const std::uint64_t target = clock.now + ms;
  for (;;) {
    // Dispatch the earliest due event; dispatching may schedule more.
    auto due = std::min_element(clock.events.begin(), clock.events.end(),
                                [](const Event& a, const Event& b) { return a.at < b.at; });
    if (due == clock.events.end() || due->at > target) break;
    clock.now = std::max(clock.now, due->at);
    const Event event = *due;
    clock.events.erase(due);
    Dispatch(event);
  }
  clock.now = target;
}

std::optional<std::uint64_t> Machine::NextEventTime(std::uint64_t until) const {
  std::optional<std::uint64_t> next;
  for (const Event& event : clock.events) {
    if (event.at <= until && (!next || event.at < *next)) next = std::max(event.at, clock.now);
  }
  return next;
}

namespace {

void DestroyWindowsOf(Machine& machine, DWORD process) {
  auto& windows = machine.desktop.windows;
  for (auto it = windows.begin(); it != windows.end();) {
    it = it->second.process == process ? windows.erase(it) : std::next(it);
  }
}

bool Referenced(const Machine& machine, HandleKind kind, const std::u16string& object) {
  return std::any_of(machine.handles.entries.begin(), machine.handles.entries.end(),
                     [&](const auto& e) { return e.second.kind == kind && e.second.object == object; });
}

// A deleted printer stays while jobs wait in it: Windows deletes it once they
// have printed, and winsim prints none, so only a purge lets it go.
bool DeletedAndIdle(const Printer& printer) { return printer.deletePending && printer.jobs.empty(); }

// A file deleted while open, or a printer deleted while open, goes with its
// last handle; a mutex goes with its last handle too.
void ForgetIfUnreferenced(Machine& machine, HandleKind kind, const std::u16string& object) {
  if (Referenced(machine, kind, object)) return;
  if (kind == HandleKind::File) {
    auto file = machine.files.files.find(object);
    if (file != machine.files.files.end() && file->second.deletePending) machine.files.files.erase(file);
  } else if (kind == HandleKind::Printer) {
    const Printer* printer = machine.spooler.printers.Find(object);
    if (printer != nullptr && DeletedAndIdle(*printer)) machine.spooler.printers.erase(printer);
  } else if (kind == HandleKind::Mutex) {
    machine.mutexes.erase(object);
  }
}

// The same for everything, when many handles closed at once.
void ForgetUnreferenced(Machine& machine) {
  auto& files = machine.files.files;
  for (auto it = files.begin(); it != files.end();) {
    it =
        it->second.deletePending && !Referenced(machine, HandleKind::File, it->first) ? files.erase(it) : std::next(it);
  }
  auto& printers = machine.spooler.printers;
  for (auto it = printers.begin(); it != printers.end();) {
    it = DeletedAndIdle(*it) && !Referenced(machine, HandleKind::Printer, FoldCase(it->name)) ? printers.erase(it)
                                                                                              : std::next(it);
  }
  for (auto it = machine.mutexes.begin(); it != machine.mutexes.end();) {
    it = Referenced(machine, HandleKind::Mutex, it->first) ? std::next(it) : machine.mutexes.erase(it);
  }
}

}  // namespace

void CloseHandleEntry(Machine& machine, std::uint64_t value) {
  auto entry = machine.handles.entries.find(value);
  if (entry == machine.handles.entries.end()) return;
  const HandleKind kind = entry->second.kind;
  const std::u16string object = entry->second.object;
  machine.handles.entries.erase(entry);
  // Only what this handle named can have lost its last handle.
  ForgetIfUnreferenced(machine, kind, object);
}

DWORD StartProcess(Machine& machine, ProgramKind kind, const std::u16string& image, const std::u16string& commandLine) {
  Process process;
  process.id = machine.nextProcessId;
  machine.nextProcessId += 8;  // the process's id and its thread's
  process.kind = kind;
  process.image = image;
  process.commandLine = commandLine;
  const ProgramProfile* profile = nullptr;
  if (kind == ProgramKind::Program) {
    const std::u16string name = FoldCase(image.substr(image.find_last_of(u'\\') + 1));
    for (const ProgramProfile& candidate : machine.programs) {
      if (FoldCase(candidate.fileName) == name) profile = &candidate;
    }
  }
  if (profile != nullptr) {
    process.quitMessage = profile->quitMessage;
    process.quitDelayMs = profile->quitDelayMs;
    process.deaf = profile->deaf;
    process.neverCloses = profile->neverCloses;
  }
  machine.processes[process.id] = process;
  if (profile == nullptr) return process.id;
  if (!profile->mutexName.empty()) {
    // One instance per session: a program that finds its mutex already
    // there (ERROR_ALREADY_EXISTS) closes it and leaves at once.
    if (machine.mutexes.count(profile->mutexName) != 0) {
      EndProcess(machine, process.id, 0, true);
      return process.id;
    }
    Handle mutex;
    mutex.kind = HandleKind::Mutex;
    mutex.process = process.id;
    mutex.object = profile->mutexName;
    mutex.access = MUTEX_ALL_ACCESS;
    machine.handles.Add(mutex);
    Mutex& object = machine.mutexes[profile->mutexName];
    object.owner = process.id;
    object.recursion = 1;
  }
  if (!profile->windowClass.empty() && !profile->windowless) {
    machine.desktop.CreateWindow(profile->windowClass, profile->windowTitle, nullptr, process.id);
  }
  return process.id;
}

void EndProcess(Machine& machine, DWORD id, DWORD exitCode, bool released) {
  Process* process = machine.FindProcess(id);
  if (process == nullptr || !process->running) return;
  process->running = false;
  process->exitCode = exitCode;
  DestroyWindowsOf(machine, id);
  for (auto& entry : machine.mutexes) {
    Mutex& mutex = entry.second;
    if (mutex.owner != id) continue;
    mutex.owner = 0;
    mutex.recursion = 0;
    mutex.abandoned = !released;
  }
  auto& entries = machine.handles.entries;
  std::size_t closed = 0;
  for (auto it = entries.begin(); it != entries.end();) {
    if (it->second.process == id) {
      it = entries.erase(it);
      ++closed;
    } else {
      ++it;
    }
  }
  process->handlesLeftOpen = closed;
  auto& holds = machine.files.holds;
  holds.erase(std::remove_if(holds.begin(), holds.end(), [id](const FileHold& h) { return h.process == id; }),
              holds.end());
  ForgetUnreferenced(machine);
}

void EnterServiceState(Machine& machine, DWORD state) {
  Service& service = machine.services.spooler;
  service.state = state;
  ++service.transition;
  if (state == SERVICE_RUNNING && service.process == 0) {
    service.process = StartProcess(machine, ProgramKind::Spooler, service.image);
  }
  if (state == SERVICE_STOPPED && service.process != 0) {
    EndProcess(machine, service.process, 0, true);
    service.process = 0;
  }
}

void Machine::Dispatch(const Event& event) {
  switch (event.kind) {
    case EventKind::ServiceState:
      // A completion whose transition was overtaken by another change is stale.
      if (services.spooler.transition == event.stamp) EnterServiceState(*this, event.value);
      break;
    case EventKind::HoldEnds: UnlockFile(*this, static_cast<int>(event.object)); break;
    case EventKind::ProcessQuits: EndProcess(*this, static_cast<DWORD>(event.object), event.value, true); break;
    case EventKind::WindowCloses: {
      const HWND hwnd = AsHandle<HWND>(event.object);
      const Window* window = desktop.Find(hwnd);
      if (window == nullptr) break;
      const DWORD owner = window->process;
      desktop.windows.erase(hwnd);
      // A program whose last window closes quits.
      const bool more = std::any_of(desktop.windows.begin(), desktop.windows.end(),
                                    [owner](const auto& w) { return w.second.process == owner; });
      const Process* process = FindProcess(owner);
      if (!more && process != nullptr && process->kind == ProgramKind::Program) EndProcess(*this, owner, 0, true);
      break;
    }
  }
}

void Restart(Machine& machine) {
  const Process* caller = machine.FindProcess(machine.caller);
  const std::u16string image = caller != nullptr ? caller->image : std::u16string();
  const ProgramKind callerKind = caller != nullptr ? caller->kind : ProgramKind::System;
  std::vector<DWORD> running;
  for (const auto& entry : machine.processes) {
    if (entry.second.running) running.push_back(entry.first);
  }
  for (DWORD id : running) EndProcess(machine, id, 0);
  // The session manager works before any service starts: no module is loaded.
  Service& spooler = machine.services.spooler;
  spooler.process = 0;
  machine.clock.events.clear();
  machine.files.holds.clear();
  RunPendingRenames(machine);

  machine.processes[kSystemProcess].running = true;
  machine.processes[kSystemProcess].exitCode = 259;
  // A start that never completes hangs at boot as it hangs later.
  const DWORD booted = spooler.startNeverCompletes ? SERVICE_START_PENDING : SERVICE_RUNNING;
  EnterServiceState(machine, spooler.autoStart ? booted : SERVICE_STOPPED);
  machine.caller =
      callerKind == ProgramKind::Installer ? StartProcess(machine, ProgramKind::Installer, image) : kSystemProcess;
}

}  // namespace winsim
