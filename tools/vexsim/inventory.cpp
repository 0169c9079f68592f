#include "inventory.h"

#include <map>
#include <set>

#include <winsim/constant_names.h>
#include <winsim/files.h>
#include <winsim/text_format.h>
#include <winsim_presets/product.h>
#include <winsim_presets/queues.h>

#include "run_logs.h"

namespace vexsim {

using winsim::Hex;
using winsim::Quoted;

namespace {

constexpr std::size_t kShownBytes = 32;  // binary data is cut after these

std::string Number(std::uint64_t value) { return std::to_string(value); }
std::string Mark(bool set) { return set ? "yes" : ""; }

std::string Named(const char* name, std::uint64_t value) { return name != nullptr ? name : Number(value); }

std::string FileName(const std::u16string& path) { return winsim::Narrow(path.substr(path.find_last_of(u'\\') + 1)); }

std::string Version(const std::optional<winsim::FileVersion>& version) {
  return version ? winsim::VersionText(*version) : std::string();
}

// The bytes as a machine file writes them, cut short.
std::string Bytes(const std::vector<std::uint8_t>& bytes) {
  std::string shown;
  for (std::size_t i = 0; i < bytes.size() && i < kShownBytes; ++i) shown += winsim::HexDigits(bytes[i], 2);
  return bytes.size() > kShownBytes ? shown + "..." : shown;
}

// Registry data as its type reads: text, a list of texts, a number, bytes.
std::string Data(const winsim::RegistryValue& value) {
  std::string shown = Named(winsim::ConstantName(winsim::kRegistryTypes, value.type), value.type) + " ";
  switch (value.type) {
    case REG_SZ:
    case REG_EXPAND_SZ: return shown + Quoted(winsim::StringOf(value.data));
    case REG_MULTI_SZ: {
      std::string list;
      for (const std::u16string& item : winsim::MultiStrings(value.data))
        list += (list.empty() ? "" : ", ") + Quoted(item);
      return shown + "[" + list + "]";
    }
    case REG_DWORD:
      if (value.data.size() == 4)
        return shown +
               Number(value.data[0] | value.data[1] << 8 | value.data[2] << 16 | std::uint32_t{value.data[3]} << 24);
      break;
  }
  return shown + Bytes(value.data);
}

// A digest of the bytes, so that a change that keeps size and version shows.
std::string Digest(const std::vector<std::uint8_t>& bytes) {
  std::uint64_t hash = 0xcbf29ce484222325;  // FNV-1a
  for (std::uint8_t byte : bytes) hash = (hash ^ byte) * 0x100000001b3;
  return winsim::HexDigits(hash, 16);
}

Item FileItem(const winsim::File& file) {
  Item item{winsim::Narrow(winsim::FoldCase(file.path)), winsim::Narrow(file.path), {}};
  item.fields = {{"size", Number(file.data.size()) + " bytes"},
                 {"version", Version(file.version)},
                 {"attributes", Hex(file.attributes), true},
                 {"content", Digest(file.data), true}};
  return item;
}

// "HKLM\SOFTWARE\...\Run" from "HKEY_LOCAL_MACHINE\SOFTWARE\...\Run".
std::string ShortKey(const std::u16string& path) {
  for (const winsim::RegistryRoot& root : winsim::RegistryRoots()) {
    const std::u16string name = root.name;
    if (path.compare(0, name.size(), name) == 0) return winsim::Narrow(root.shortName + path.substr(name.size()));
  }
  return winsim::Narrow(path);
}

Item ValueItem(const winsim::RegistryKey& key, const winsim::RegistryValue& value) {
  const std::string name = value.name.empty() ? "(default)" : winsim::Narrow(value.name);
  return Item{winsim::Narrow(winsim::FoldCase(key.path + u"\\" + value.name)),
              ShortKey(key.path) + " " + name,
              {{"data", Data(value)}}};
}

bool IsPendingOperations(const winsim::RegistryKey& key, const winsim::RegistryValue& value) {
  return winsim::SameFolded(key.path, winsim::kSessionManagerKey) &&
         winsim::SameFolded(value.name, winsim::kPendingRenamesValue);
}

}  // namespace

Section SpoolerService(const winsim::Machine& machine) {
  const winsim::Service& spooler = machine.services.spooler;
  Item item{"spooler", winsim::Narrow(spooler.name), {}};
  item.fields = {{"state", Named(winsim::ConstantName(winsim::kServiceStates, spooler.state), spooler.state)},
                 {"process", spooler.process != 0 ? Number(spooler.process) : ""},
                 {"refuses to stop with", spooler.stopRefusal != 0 ? Number(spooler.stopRefusal) : ""},
                 {"never finishes starting", Mark(spooler.startNeverCompletes)},
                 {"cannot be opened with", spooler.openError != 0 ? Number(spooler.openError) : ""},
                 {"stops in", spooler.stopMs != 0 ? Number(spooler.stopMs) + " ms" : ""},
                 {"starts in", spooler.startMs != 0 ? Number(spooler.startMs) + " ms" : ""}};
  return Section{"spooler service", "spooler service", {item}};
}

Section Monitors(const winsim::Machine& machine) {
  Section section{"monitors", "monitor", {}};
  for (const winsim::Monitor& monitor : machine.spooler.monitors) {
    section.items.push_back(Item{winsim::Narrow(winsim::FoldCase(monitor.name + u"|" + monitor.environment)),
                                 Quoted(monitor.name) + " (" + winsim::Narrow(monitor.environment) + ")",
                                 {{"dll", winsim::Narrow(monitor.dll)}}});
  }
  return section;
}

Section Drivers(const winsim::Machine& machine) {
  Section section{"drivers", "driver", {}};
  for (const winsim::Driver& driver : machine.spooler.drivers) {
    const std::string version = Number(driver.version);
    Item item{winsim::Narrow(winsim::FoldCase(driver.name + u"|" + driver.environment)) + "|" + version,
              Quoted(driver.name) + " (" + winsim::Narrow(driver.environment) + ", version " + version + ")",
              {}};
    std::string dependents;
    for (const std::u16string& file : driver.dependentFiles)
      dependents += (dependents.empty() ? "" : " ") + FileName(file);
    item.fields = {{"driver", FileName(driver.driverPath)},
                   {"data", FileName(driver.dataFile)},
                   {"config", FileName(driver.configFile)},
                   {"help", FileName(driver.helpFile)},
                   {"dependent files", dependents},
                   {"provider", winsim::Narrow(driver.provider)},
                   {"directory", winsim::Narrow(winsim::ParentPath(driver.driverPath)), true}};
    section.items.push_back(item);
  }
  return section;
}

Section Printers(const winsim::Machine& machine) {
  Section section{"printers", "printer", {}};
  for (const winsim::Printer& printer : machine.spooler.printers) {
    Item item{winsim::Narrow(winsim::FoldCase(printer.name)), Quoted(printer.name), {}};
    // The settings name as the installer reads it: the plain value first.
    auto settings = winsim::presets::SettingsNameOf(printer, u"PrinterDriverData");
    if (!settings) settings = winsim::presets::SettingsNameOf(printer, u"DsUser");
    item.fields = {{"port", winsim::Narrow(printer.port)},
                   {"driver", Quoted(printer.driver)},
                   {"comment", printer.comment.empty() ? "" : Quoted(printer.comment)},
                   {"location", printer.location.empty() ? "" : Quoted(printer.location)},
                   {"settings name", settings ? Quoted(*settings) : ""},
                   {"shared as", printer.shareName.empty() ? "" : Quoted(printer.shareName)},
                   {"status", printer.status != 0 ? Hex(printer.status) : ""},
                   {"jobs", printer.jobs.empty() ? "" : Number(printer.jobs.size())},
                   {"attributes", Hex(printer.attributes), true},
                   {"print processor", winsim::Narrow(printer.printProcessor), true}};
    for (const auto& [key, values] : printer.data) {
      for (const auto& [name, value] : values) {
        item.fields.push_back({"data " + winsim::Narrow(key + u"\\" + value.name), Data(value), true});
      }
    }
    section.items.push_back(item);
  }
  return section;
}

Section DefaultPrinter(const winsim::Machine& machine) {
  Section section{"default printer", "default printer", {}};
  if (machine.spooler.defaultPrinter)
    section.items.push_back(Item{"default", Quoted(*machine.spooler.defaultPrinter), {}});
  return section;
}

Section Files(const winsim::Machine& machine) {
  Section section{"files", "file", {}};
  for (const auto& [key, file] : machine.files.files) section.items.push_back(FileItem(file));
  return section;
}

Section ProductFiles(const winsim::Machine& machine) {
  const std::u16string directory = winsim::FoldCase(std::u16string(winsim::presets::kProductDirectory) + u"\\");
  const std::u16string bin = winsim::FoldCase(winsim::presets::kBinDirectory);
  std::set<std::u16string> names;
  for (const auto& [key, file] : machine.files.files) {
    if (winsim::ParentPath(key) == bin) names.insert(key.substr(bin.size() + 1));
  }
  Section section{"product files", "file", {}};
  for (const auto& [key, file] : machine.files.files) {
    if (key.compare(0, directory.size(), directory) == 0 || names.count(key.substr(key.find_last_of(u'\\') + 1)) != 0) {
      section.items.push_back(FileItem(file));
    }
  }
  return section;
}

Section RunLogFiles(const winsim::Machine& machine) {
  Section section{"run logs", "run log", {}};
  for (const winsim::File* log : RunLogs(machine)) {
    section.items.push_back(Item{winsim::Narrow(winsim::FoldCase(log->path)),
                                 FileName(log->path),
                                 {{"size", Number(log->data.size()) + " bytes"}}});
  }
  return section;
}

Section RegistryValues(const winsim::Machine& machine) {
  Section section{"registry values", "registry value", {}};
  for (const auto& [path, key] : machine.registry.keys) {
    for (const auto& [name, value] : key.values) {
      if (!IsPendingOperations(key, value)) section.items.push_back(ValueItem(key, value));
    }
  }
  return section;
}

Section RunValue(const winsim::Machine& machine) {
  Section section{"Run value", "registry value", {}};
  const winsim::RegistryValue* value =
      machine.registry.FindValue(winsim::presets::kTrayRunKey, winsim::presets::kTrayRunValue);
  if (value != nullptr)
    section.items.push_back(ValueItem(*machine.registry.FindKey(winsim::presets::kTrayRunKey), *value));
  return section;
}

Section PendingFileOperations(const winsim::Machine& machine) {
  Section section{"pending file operations", "pending file operation", {}};
  const winsim::RegistryValue* value =
      machine.registry.FindValue(winsim::kSessionManagerKey, winsim::kPendingRenamesValue);
  if (value == nullptr) return section;
  const std::vector<std::u16string> entries = winsim::MultiStrings(value->data);
  // Pairs of source and target, each "\??\" + a path; an empty target
  // deletes, a target after "!" is replaced.
  const auto path = [](std::u16string entry) {
    if (entry.compare(0, 4, u"\\??\\") == 0) entry.erase(0, 4);
    return winsim::Narrow(entry);
  };
  std::map<std::string, int> seen;  // the same operation twice is two items
  for (std::size_t i = 0; i + 1 < entries.size(); i += 2) {
    const std::u16string& target = entries[i + 1];
    const bool replaces = !target.empty() && target[0] == u'!';
    const std::string title = target.empty() ? "delete " + path(entries[i])
                                             : "rename " + path(entries[i]) + " to " + path(target.substr(replaces)) +
                                                   (replaces ? ", replacing it" : "");
    section.items.push_back(Item{title + "|" + Number(seen[title]++), title, {}});
  }
  return section;
}

Section RunningPrograms(const winsim::Machine& machine) {
  Section section{"running programs", "running program", {}};
  for (const auto& [id, process] : machine.processes) {
    if (!process.running || process.kind == winsim::ProgramKind::Installer) continue;
    section.items.push_back(Item{Number(id),
                                 FileName(process.image) + " (pid " + Number(id) + ")",
                                 {{"image", winsim::Narrow(process.image), true}}});
  }
  return section;
}

// "error 5, calls 1, skips 2, returns 258": the calls that go through
// first and the result only when the fault has them.
std::vector<Field> FaultFields(const winsim::Fault& fault) {
  return {{"error", Number(fault.error)},
          {"calls", std::to_string(fault.count)},
          {"skips", fault.skip != 0 ? Number(fault.skip) : ""},
          {"returns", fault.result ? std::to_string(*fault.result) : ""}};
}

Section ArmedFaults(const winsim::Machine& machine) {
  Section section{"armed faults", "armed fault", {}};
  for (const auto& [api, fault] : machine.faults) section.items.push_back(Item{api, api, FaultFields(fault)});
  if (machine.anyCallFault) section.items.push_back(Item{"any call", "any call", FaultFields(*machine.anyCallFault)});
  return section;
}

std::string Summary(const Item& item) {
  std::string summary;
  for (const Field& field : item.fields) {
    if (field.detail || field.value.empty()) continue;
    summary += (summary.empty() ? "" : ", ") + field.name + (field.value == "yes" ? "" : " " + field.value);
  }
  return summary;
}

}  // namespace vexsim
