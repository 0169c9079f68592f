#include "show.h"

#include <cstdio>

#include "inventory.h"

namespace vexsim {

void Show(const winsim::Machine& machine) {
  const Section sections[] = {SpoolerService(machine),  Monitors(machine),       Drivers(machine),
                              Printers(machine),        DefaultPrinter(machine), ProductFiles(machine),
                              RunLogFiles(machine),     RunValue(machine),       PendingFileOperations(machine),
                              RunningPrograms(machine), ArmedFaults(machine)};
  for (const Section& section : sections) {
    std::printf("%s:%s\n", section.heading.c_str(), section.items.empty() ? " none" : "");
    for (const Item& item : section.items) {
      const std::string summary = Summary(item);
      std::printf("  %s%s%s\n", item.title.c_str(), summary.empty() ? "" : ": ", summary.c_str());
    }
  }
}

}  // namespace vexsim
