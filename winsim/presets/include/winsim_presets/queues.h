// What the product's printer queues need on a simulated machine: its port
// monitor with the port "Ravelquill:", its driver, and printers' settings
// names as printer data.
#pragma once
#include <optional>
#include <string>

#include <winsim/machine.h>

namespace winsim::presets {

// Registers the monitor "Ravelquill:" (its module, providing that port, in
// the system directory) and the driver "Ravelquill printer".
void AddProductPortAndDriver(Machine& machine);

// Stores `name` as the printer data value "SubKey" (REG_SZ) under `key`:
// "PrinterDriverData" for the plain value, "DsUser" for the other. Without
// `terminated` the value holds the characters alone.
void PutSettingsName(Printer& printer, const std::u16string& key, const std::string& name, bool terminated = true);

// The settings name stored under `key`, or nullopt when there is none.
std::optional<std::string> SettingsNameOf(const Printer& printer, const std::u16string& key);

// The per-user settings key of a settings name.
std::u16string SettingsKey(const std::string& name);

}  // namespace winsim::presets
