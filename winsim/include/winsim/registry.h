// The registry of the simulated machine.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <windows.h>

namespace winsim {

struct Registry {};

}  // namespace winsim
