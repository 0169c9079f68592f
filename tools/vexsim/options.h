// vexsim's command line.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include <winsim/machine.h>

namespace vexsim {

// A fault armed for the run: `--fail API[#K]:ERROR`, the K-th call of API
// from the start of the run (the first without #K), or `--fail-call
// N:ERROR`, the run's N-th call that can fail, whatever its function.
struct FaultOption {
  std::string api;  // empty: the run-wide fault
  DWORD call = 1;
  DWORD error = 0;
};

enum class Command { Run, Show, Restart, New, Log, Help };

struct Options {
  Command command = Command::Run;
  std::string machineFile = "machine.json";
  std::string from;  // new: the scenario to start from
  DWORD log = 1;     // log: which run log, 1 the newest
  bool logGiven = false;
  bool shift = false;
  bool trace = false;                         // print every Win32 call the installer made
  bool changes = false;                       // print what the run changed on the machine
  std::optional<winsim::DialogAction> close;  // how the user closes the log window
  std::optional<std::string> owner;           // the owner window's number, after the words
  std::vector<std::string> words;             // the installer's arguments
  std::vector<FaultOption> faults;            // armed on the machine before the run
};

extern const char kUsage[];

// The options `arguments` (without the program name) give, or nullopt with
// `error` set to one line. Options may stand before the subcommand as after it.
std::optional<Options> ParseOptions(const std::vector<std::string>& arguments, std::string& error);

// Arms the faults of `options` on `machine`, as its file's faults would be.
void ArmFaults(const Options& options, winsim::Machine& machine);

// The installer's arguments (the words, then the owner) as one command line
// that CommandLineToArgvW splits back into them.
std::u16string CommandArguments(const Options& options);

}  // namespace vexsim
