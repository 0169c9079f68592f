// The cases on winsim: each on a fresh Windows x64, called from a program of
// its own, as the Windows build is.
#include <winsim/machine.h>

#include "conformance.h"
#include "machine_setup.h"
#include "spooler_fixture.h"

namespace conformance {

bool OnWine() { return false; }

const WCHAR* WorkDirectory() { return u"C:\\conformance"; }

void PrepareMachine() {
  std::unique_ptr<winsim::Machine> machine = winsim::NewMachine();
  machine->files.AddDirectory(WorkDirectory());
  // The program itself, started again as a child, holds the child mutex
  // until it is terminated (see StartChild).
  machine->files.Put(u"C:\\conformance\\conformance.exe", std::vector<std::uint8_t>(100, 0x43));
  winsim::ProgramProfile child;
  child.fileName = u"conformance.exe";
  child.mutexName = winsim::Widen(kChildMutex);
  machine->programs.push_back(child);
  machine->caller = winsim::StartProcess(*machine, winsim::ProgramKind::Installer, u"C:\\conformance\\conformance.exe");
  winsim::SetCurrent(std::move(machine));
}

// The module stands for the product's monitor fixture: the spooler takes it
// as a port monitor.
bool InstallMonitorModule(const WCHAR* fileName) {
  winsim::Machine& machine = winsim::Current();
  winsim::File& module =
      machine.files.Put(machine.systemDirectory + u"\\" + fileName, std::vector<std::uint8_t>(64, 7));
  module.monitorPorts = std::vector<std::u16string>{u"Ravelquill:"};
  return true;
}

// The other program's calls are served as its own process's, which then ends.
DWORD RegisterMonitorFromAnotherProgram(const WCHAR* name, const WCHAR* dll) {
  winsim::Machine& machine = winsim::Current();
  const DWORD self = machine.caller;
  machine.caller = winsim::StartProcess(machine, winsim::ProgramKind::Installer, u"C:\\conformance\\conformance.exe",
                                        u"conformance.exe --add-monitor");
  const DWORD error = RegisterMonitor(name, dll) ? 0 : GetLastError();
  winsim::EndProcess(machine, machine.caller, error);
  machine.caller = self;
  return error;
}

}  // namespace conformance
