#include <winsim_presets/monitor.h>

namespace winsim::presets {

std::u16string SystemPath(const Machine& machine, const std::u16string& name) {
  return machine.systemDirectory + u"\\" + name;
}

File& PutMonitorModule(Machine& machine, std::optional<WORD> build, const std::u16string& name) {
  std::optional<FileVersion> version;
  if (build) version = FileVersion{7, 0, 0, *build};
  std::vector<std::uint8_t> bytes(9000, 0x11);
  bytes[0] = static_cast<std::uint8_t>(build.value_or(0) & 0xFF);
  File& module = machine.files.Put(SystemPath(machine, name), bytes, version);
  module.monitorPorts = std::vector<std::u16string>{kMonitorName};
  return module;
}

Monitor& AddProductMonitor(Machine& machine, std::optional<WORD> build, const std::u16string& dll) {
  if (!dll.empty()) PutMonitorModule(machine, build, dll);
  machine.spooler.monitors.push_back(Monitor{kMonitorName, u"Windows x64", dll});
  return machine.spooler.monitors.back();
}

}  // namespace winsim::presets
