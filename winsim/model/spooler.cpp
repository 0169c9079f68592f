// The spooler model: lookups and the links between its objects, asked of
// the objects themselves rather than counted.
#include <winsim/machine.h>

#include <algorithm>

namespace winsim {

namespace {

const File* ModuleOf(const Machine& machine, const Monitor& monitor) {
  auto it = machine.files.files.find(FoldCase(machine.systemDirectory + u"\\" + monitor.dll));
  return it == machine.files.files.end() ? nullptr : &it->second;
}

// A name and its environment as one key; no name holds a zero.
std::u16string InEnvironment(const std::u16string& name, const std::u16string& environment) {
  return FoldCase(name) + u'\0' + FoldCase(environment);
}

}  // namespace

std::vector<std::u16string> PortList(const std::u16string& ports) {
  std::vector<std::u16string> list;
  std::size_t start = 0;
  while (start <= ports.size()) {
    std::size_t end = ports.find(u',', start);
    if (end == std::u16string::npos) end = ports.size();
    std::u16string port = ports.substr(start, end - start);
    port.erase(0, port.find_first_not_of(u' '));
    port.erase(port.find_last_not_of(u' ') + 1);
    if (!port.empty()) list.push_back(port);
    start = end + 1;
  }
  return list;
}

std::u16string FoldedKey(const Monitor& monitor) { return InEnvironment(monitor.name, monitor.environment); }
std::u16string FoldedKey(const Driver& driver) { return InEnvironment(driver.name, driver.environment); }
std::u16string FoldedKey(const Printer& printer) { return FoldCase(printer.name); }

Printer* Spooler::FindPrinter(const std::u16string& name) { return printers.Find(FoldCase(name)); }

Monitor* Spooler::FindMonitor(const std::u16string& name, const std::u16string& environment) {
  return monitors.Find(InEnvironment(name, environment));
}

Driver* Spooler::FindDriver(const std::u16string& name, const std::u16string& environment) {
  return drivers.Find(InEnvironment(name, environment));
}

const PrintEnvironment* Spooler::FindEnvironment(const std::u16string& name) const {
  for (const auto& e : environments) {
    if (SameFolded(e.name, name)) return &e;
  }
  return nullptr;
}

bool SpoolerRunning(const Machine& machine) { return machine.services.spooler.state == SERVICE_RUNNING; }

std::vector<std::u16string> Ports(const Machine& machine) {
  std::vector<std::u16string> ports;
  if (!SpoolerRunning(machine)) return ports;
  for (const Monitor& monitor : machine.spooler.monitors) {
    const File* module = ModuleOf(machine, monitor);
    if (module == nullptr || !module->monitorPorts) continue;
    for (const auto& port : *module->monitorPorts) ports.push_back(port);
  }
  return ports;
}

const Monitor* MonitorOfPort(const Machine& machine, const std::u16string& port) {
  if (!SpoolerRunning(machine)) return nullptr;
  for (const Monitor& monitor : machine.spooler.monitors) {
    const File* module = ModuleOf(machine, monitor);
    if (module == nullptr || !module->monitorPorts) continue;
    for (const auto& provided : *module->monitorPorts) {
      if (SameFolded(provided, port)) return &monitor;
    }
  }
  return nullptr;
}

std::vector<const Printer*> PrintersOnMonitor(const Machine& machine, const Monitor& monitor) {
  std::vector<const Printer*> users;
  for (const Printer& printer : machine.spooler.printers) {
    const auto ports = PortList(printer.port);
    if (std::any_of(ports.begin(), ports.end(),
                    [&](const std::u16string& port) { return MonitorOfPort(machine, port) == &monitor; })) {
      users.push_back(&printer);
    }
  }
  return users;
}

std::vector<const Printer*> PrintersOfDriver(const Machine& machine, const Driver& driver) {
  std::vector<const Printer*> users;
  if (!SameFolded(driver.environment, u"Windows x64")) return users;
  for (const Printer& printer : machine.spooler.printers) {
    if (SameFolded(printer.driver, driver.name)) users.push_back(&printer);
  }
  return users;
}

}  // namespace winsim
