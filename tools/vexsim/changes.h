// `--changes`: what a run changed on the machine.
#pragma once
#include <winsim/machine.h>

namespace vexsim {

// Spooler objects, files, registry values, pending file operations, running
// programs, the spooler service and armed faults of `after` that `before`
// did not have (+), that it had and `after` has not (-), or that differ (~).
void PrintChanges(const winsim::Machine& before, const winsim::Machine& after);

}  // namespace vexsim
