// The product's port monitor on a simulated machine: its module in the
// system directory and its registration, one line each in a test.
#pragma once
#include <optional>
#include <string>

#include <winsim/machine.h>

namespace winsim::presets {

inline const char16_t kMonitorName[] = u"Ravelquill:";
inline const char16_t kMonitorModule[] = u"vexmon64.dll";

// The system directory's path of a module, "C:\Windows\system32\<name>".
std::u16string SystemPath(const Machine& machine, const std::u16string& name = kMonitorModule);

// A monitor module of `build` (no version resource when nullopt) in the
// system directory, providing the port "Ravelquill:".
File& PutMonitorModule(Machine& machine, std::optional<WORD> build, const std::u16string& name = kMonitorModule);

// The product's monitor registered for "Windows x64" with its module of
// `build` in place; an empty `dll` registers the monitor with no module.
Monitor& AddProductMonitor(Machine& machine, std::optional<WORD> build = 2446,
                           const std::u16string& dll = kMonitorModule);

}  // namespace winsim::presets
