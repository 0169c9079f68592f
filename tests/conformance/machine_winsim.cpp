// The cases on winsim: each on a fresh Windows x64, called from a program of
// its own, as the Windows build is.
#include <winsim/machine.h>

#include "conformance.h"
#include "machine_setup.h"

namespace conformance {

bool OnWine() { return false; }

const WCHAR* WorkDirectory() { return u"C:\\conformance"; }

void PrepareMachine() {
  std::unique_ptr<winsim::Machine> machine = winsim::NewMachine();
  machine->files.AddDirectory(WorkDirectory());
  machine->caller = winsim::StartProcess(*machine, winsim::ProgramKind::Installer, u"C:\\conformance\\conformance.exe");
  winsim::SetCurrent(std::move(machine));
}

}  // namespace conformance
