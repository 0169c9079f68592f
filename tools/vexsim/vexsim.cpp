// vexsim runs the installer's WinMain on a simulated Windows x64 kept in a
// machine file, and keeps the machine for the next command:
//
//   vexsim [--machine FILE] [--shift] [--close ok|cancel|x] [--owner N] [--trace] [--changes]
//          [--fail API[#K]:ERROR]... [--fail-call N:ERROR] [--] WORD...
//   vexsim show [--machine FILE]
//   vexsim restart [--machine FILE]
//   vexsim new [--machine FILE] [--from SCENARIO]
//   vexsim log [N] [--machine FILE]
//   vexsim --help
//
// Options may stand before the subcommand as after it; the words after --
// are the installer's, whatever they look like.
//
// FILE defaults to ./machine.json; a missing file is a fresh product
// machine. A run prints each log window the installer shows (title, then
// text), with --trace every Win32 call the installer made first, with
// --changes what the run changed after, and last the exit code with its
// meaning, and exits with it. vexsim's
// own failures exit 2 with one line and leave the file as it was.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <winsim/machine.h>
#include <winsim/machine_json.h>
#include <winsim/trace.h>
#include <winsim_presets/product.h>

#include "options.h"
#include "changes.h"
#include "report.h"
#include "run_logs.h"
#include "show.h"

namespace vexsim {
namespace {

constexpr int kUsageError = 2;

struct Failure {
  std::string line;
};

bool ReadFile(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream out;
  out << in.rdbuf();
  text = out.str();
  return true;
}

// The machine in `path`; a missing file is a fresh product machine.
std::unique_ptr<winsim::Machine> LoadFile(const std::string& path, bool missingIsFresh) {
  std::string text;
  if (!ReadFile(path, text)) {
    if (missingIsFresh) return winsim::presets::ProductMachine();
    throw Failure{path + ": cannot be read"};
  }
  std::string error;
  auto machine = winsim::LoadMachine(text, error);
  if (!machine) throw Failure{path + ": " + error};
  return machine;
}

// Written beside the file and renamed over it, so an interrupted save never
// leaves half a machine.
void SaveFile(const std::string& path, const winsim::Machine& machine) {
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << winsim::SaveMachine(machine);
    if (!out.flush()) throw Failure{temporary + ": cannot be written"};
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) throw Failure{path + ": cannot be replaced"};
}

// A scenario is a folder of examples/ named by its folder name, or any
// folder or machine file given by its path.
std::string ScenarioFile(const std::string& scenario) {
  std::string path = scenario;
  if (scenario.find('/') == std::string::npos && !std::ifstream(scenario)) {
    path = std::string(VEXSIM_EXAMPLES) + "/" + scenario;
  }
  std::ifstream file(path + "/machine.json");
  return file ? path + "/machine.json" : path;
}

int Run(const Options& options) {
  const auto before = options.changes ? LoadFile(options.machineFile, true) : nullptr;
  winsim::SetCurrent(LoadFile(options.machineFile, true));
  winsim::Machine& machine = winsim::Current();
  if (options.shift) machine.desktop.shiftDown = true;  // held at the end of the run: the log is shown
  if (options.close) machine.desktop.script.assign(1, *options.close);
  ArmFaults(options, machine);
  const std::size_t shownBefore = machine.desktop.dialogs.size();
  winsim::trace::StartRecording(options.trace);

  const std::u16string image = winsim::presets::InstallerImage(machine);
  const int exitCode =
      winsim::RunWinMain(image, winsim::presets::InstallerCommandLine(CommandArguments(options), image));
  machine.desktop.shiftDown = false;  // the user lets go
  machine.desktop.script.clear();

  for (const winsim::trace::CallRecord& call : winsim::trace::Calls()) {
    std::printf("%s\n", winsim::trace::Line(call).c_str());
  }
  for (std::size_t i = shownBefore; i < machine.desktop.dialogs.size(); ++i) PrintDialog(machine.desktop.dialogs[i]);
  if (before) PrintChanges(*before, machine);
  SaveFile(options.machineFile, machine);
  PrintExitCode(exitCode);
  return exitCode;
}

// The N-th newest run log's text; the machine is only read.
int PrintRunLog(const Options& options) {
  const auto machine = LoadFile(options.machineFile, true);
  const std::vector<const winsim::File*> logs = RunLogs(*machine);
  const std::string folder = winsim::Narrow(RunLogDirectory(*machine));
  if (logs.empty()) throw Failure{"no run log in " + folder};
  if (options.log > logs.size()) {
    throw Failure{"no run log " + std::to_string(options.log) + " in " + folder + ": there " +
                  (logs.size() == 1 ? "is 1" : "are " + std::to_string(logs.size()))};
  }
  const std::string text = TerminalText(logs[options.log - 1]->data);
  std::fwrite(text.data(), 1, text.size(), stdout);
  return 0;
}

int Execute(const Options& options) {
  switch (options.command) {
    case Command::Run: return Run(options);
    case Command::Show: Show(*LoadFile(options.machineFile, true)); return 0;
    case Command::Restart: {
      auto machine = LoadFile(options.machineFile, true);
      winsim::Restart(*machine);
      SaveFile(options.machineFile, *machine);
      return 0;
    }
    case Command::Log: return PrintRunLog(options);
    case Command::Help: std::printf("%s", kUsage); return 0;
    case Command::New:
      SaveFile(options.machineFile, options.from.empty() ? *winsim::presets::ProductMachine()
                                                         : *LoadFile(ScenarioFile(options.from), false));
      return 0;
  }
  return kUsageError;
}

}  // namespace
}  // namespace vexsim

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  std::string error;
  const auto options = vexsim::ParseOptions(arguments, error);
  if (!options) {
    std::fprintf(stderr, "vexsim: %s (vexsim --help shows the usage)\n", error.c_str());
    return vexsim::kUsageError;
  }
  try {
    return vexsim::Execute(*options);
  } catch (const vexsim::Failure& failure) {
    std::fprintf(stderr, "vexsim: %s\n", failure.line.c_str());
    return vexsim::kUsageError;
  }
}
