// The service control manager's services on the simulated machine.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <windows.h>

namespace winsim {

struct Services {
  // Called each time the "spooler" service reaches the stopped state (files
  // that the spooler holds are released then).
  std::vector<std::function<void()>> onSpoolerStopped;
};

}  // namespace winsim
