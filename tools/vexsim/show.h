// `vexsim show`: the machine as a person wants to read it.
#pragma once
#include <winsim/machine.h>

namespace vexsim {

// The spooler service, monitors, drivers, printers, the product's files with
// their builds, the kept run logs, the tray program's Run value, pending file operations,
// running programs and armed faults.
void Show(const winsim::Machine& machine);

}  // namespace vexsim
