#include "changes.h"

#include <cstdio>
#include <map>

#include "inventory.h"

namespace vexsim {
namespace {

using SectionOf = Section (*)(const winsim::Machine&);

std::string Shown(const std::string& value) { return value.empty() ? "none" : value; }

// "comment none -> "Office"; default yes -> none": the fields that differ.
std::string Differences(const Item& before, const Item& after) {
  std::map<std::string, std::pair<std::string, std::string>> values;
  std::vector<std::string> names;  // in the order the items list them
  for (const Item* item : {&after, &before}) {
    for (const Field& field : item->fields) {
      if (values.count(field.name) == 0) names.push_back(field.name);
      auto& [old, now] = values[field.name];
      (item == &before ? old : now) = field.value;
    }
  }
  std::string differences;
  for (const std::string& name : names) {
    const auto& [old, now] = values[name];
    if (old != now) differences += (differences.empty() ? "" : "; ") + name + " " + Shown(old) + " -> " + Shown(now);
  }
  return differences;
}

void Print(char mark, const Section& section, const Item& item, const std::string& what) {
  std::printf("  %c %s %s%s%s\n", mark, section.noun.c_str(), item.title.c_str(), what.empty() ? "" : ": ",
              what.c_str());
}

// One section compared item by item, by the items' keys.
int Compare(const Section& before, const Section& after) {
  int printed = 0;
  std::map<std::string, const Item*> old;
  for (const Item& item : before.items) old[item.key] = &item;
  for (const Item& item : after.items) {
    const auto found = old.find(item.key);
    if (found == old.end()) {
      Print('+', after, item, Summary(item));
      ++printed;
      continue;
    }
    const std::string differences = Differences(*found->second, item);
    if (!differences.empty() || found->second->title != item.title) {
      Print('~', after, item, differences.empty() ? "was " + found->second->title : differences);
      ++printed;
    }
    old.erase(found);
  }
  for (const Item& item : before.items) {
    if (old.count(item.key) == 0) continue;
    Print('-', before, item, std::string());
    ++printed;
  }
  return printed;
}

}  // namespace

void PrintChanges(const winsim::Machine& before, const winsim::Machine& after) {
  static const SectionOf kSections[] = {
      Monitors,        Drivers,        Printers,   DefaultPrinter, Files, RegistryValues, PendingFileOperations,
      RunningPrograms, SpoolerService, ArmedFaults};
  std::printf("changes:\n");
  int printed = 0;
  for (const SectionOf section : kSections) printed += Compare(section(before), section(after));
  if (printed == 0) std::printf("  none\n");
}

}  // namespace vexsim
