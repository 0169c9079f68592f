// vexsim's command line.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include <winsim/desktop.h>

namespace vexsim {

enum class Command { Run, Show, Restart, New, Help };

struct Options {
  Command command = Command::Run;
  std::string machineFile = "machine.json";
  std::string from;  // new: the scenario to start from
  bool shift = false;
  bool trace = false;                         // print every Win32 call the installer made
  bool changes = false;                       // print what the run changed on the machine
  std::optional<winsim::DialogAction> close;  // how the user closes the log window
  std::optional<std::string> owner;           // the owner window's number, after the words
  std::vector<std::string> words;             // the installer's arguments
};

extern const char kUsage[];

// The options `arguments` (without the program name) give, or nullopt with
// `error` set to one line. Options may stand before the subcommand as after it.
std::optional<Options> ParseOptions(const std::vector<std::string>& arguments, std::string& error);

// The installer's arguments (the words, then the owner) as one command line
// that CommandLineToArgvW splits back into them.
std::u16string CommandArguments(const Options& options);

}  // namespace vexsim
