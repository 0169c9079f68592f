// A whole Machine saved as JSON and loaded back: the scenario files of vexsim
// and the tests. The format is described in docs/machine-format.md. The heap
// blocks of the running program (Machine::memory) are real memory and are
// not saved; a loaded machine has none.
#pragma once
#include <memory>
#include <string>

#include <winsim/machine.h>

namespace winsim {

// The machine as pretty JSON, every field written, in a fixed order: the same
// machine always gives the same text.
std::string SaveMachine(const Machine& machine);

// The machine `json` describes; fields left out keep the values a
// default-constructed Machine has. On any error (not JSON, a wrong type, an
// unknown or missing field, a bad reference) returns null and sets `error` to
// one line naming the field by its path, e.g.
// `machine.spooler.printers[2].port: expected a string, found a number`.
std::unique_ptr<Machine> LoadMachine(const std::string& json, std::string& error);

}  // namespace winsim
