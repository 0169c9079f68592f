// The product's printer driver on a simulated machine, as its installer
// leaves it registered.
#pragma once
#include <winsim/machine.h>

namespace winsim::presets {

inline const char16_t kProductDriverName[] = u"Ravelquill printer";

// Registers "Ravelquill printer" with its driver, user-interface and help
// files in the driver store, unless it is registered; returns it.
Driver& AddProductDriver(Machine& machine);

}  // namespace winsim::presets
