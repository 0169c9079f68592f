// A machine as a person reads it: sections of items (a printer, a file, a
// registry value), each with named fields. `show` prints them; `--changes`
// compares them between the machine before a run and after it.
#pragma once
#include <string>
#include <vector>

#include <winsim/machine.h>

namespace vexsim {

struct Field {
  std::string name;
  std::string value;    // empty: the item has none; "yes" for a mark such as "default"
  bool detail = false;  // shown only when it changes
};

struct Item {
  std::string key;    // what the item is, so that its two versions meet
  std::string title;  // how it is named
  std::vector<Field> fields;
};

struct Section {
  std::string heading;  // "printers"
  std::string noun;     // "printer"
  std::vector<Item> items;
};

Section SpoolerService(const winsim::Machine& machine);
Section Monitors(const winsim::Machine& machine);
Section Drivers(const winsim::Machine& machine);
// With port, driver, comment, location, settings name, and the printer data
// as details.
Section Printers(const winsim::Machine& machine);
// Its one item is named by the printer; a name that no printer has is kept.
Section DefaultPrinter(const winsim::Machine& machine);
Section Files(const winsim::Machine& machine);
// The files of the product: those in its directory, and those elsewhere of
// the names its bin\ directory has (the monitor, the driver store's copies).
Section ProductFiles(const winsim::Machine& machine);
// The installer's kept run logs, newest first, each with its size.
Section RunLogFiles(const winsim::Machine& machine);
// Every registry value but the pending file operations, which have their own.
Section RegistryValues(const winsim::Machine& machine);
Section RunValue(const winsim::Machine& machine);
Section PendingFileOperations(const winsim::Machine& machine);
// Running processes, but for the program under test.
Section RunningPrograms(const winsim::Machine& machine);
Section ArmedFaults(const winsim::Machine& machine);

// "port Ravelquill:, driver "Ravelquill printer", default": the fields with
// a value, details left out.
std::string Summary(const Item& item);

}  // namespace vexsim
