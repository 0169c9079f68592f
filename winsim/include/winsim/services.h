// The service control manager's services on the simulated machine.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <windows.h>

namespace winsim {

struct Services {};

}  // namespace winsim
