#include <winsim_presets/driver.h>
#include <winsim_presets/monitor.h>
#include <winsim_presets/product.h>
#include <winsim_presets/queues.h>

namespace winsim::presets {

void AddProductPortAndDriver(Machine& machine) {
  AddProductMonitor(machine, kDefaultBuild);
  AddProductDriver(machine);
}

void PutSettingsName(Printer& printer, const std::u16string& key, const std::string& name, bool terminated) {
  RegistryValue value;
  value.name = u"SubKey";
  value.type = REG_SZ;
  // The spooler keeps text as UTF-16.
  for (char c : name) value.data.insert(value.data.end(), {static_cast<BYTE>(c), 0});
  if (terminated) value.data.insert(value.data.end(), {0, 0});
  printer.data[FoldCase(key)][FoldCase(value.name)] = value;
}

std::optional<std::string> SettingsNameOf(const Printer& printer, const std::u16string& key) {
  const auto values = printer.data.find(FoldCase(key));
  if (values == printer.data.end()) return std::nullopt;
  const auto value = values->second.find(FoldCase(u"SubKey"));
  if (value == values->second.end()) return std::nullopt;
  std::string name;
  for (std::size_t i = 0; i + 1 < value->second.data.size(); i += 2) {
    if (value->second.data[i] == 0) break;
    name.push_back(static_cast<char>(value->second.data[i]));
  }
  return name;
}

std::u16string SettingsKey(const std::string& name) {
  return u"HKEY_CURRENT_USER\\Software\\Morvath Software KFT\\Ravelquill\\Ravelquills\\" + Widen(name);
}

}  // namespace winsim::presets
