#include "report.h"

#include <cstdio>
#include <string>

#include <winsim/machine.h>

#include "shell/exit_codes.h"

namespace vexsim {
namespace {

constexpr int kLogTextBox = 1001;

// A text of the machine with the line ends of this terminal.
std::string ForTerminal(const std::u16string& text) {
  std::string out = winsim::Narrow(text);
  std::string::size_type at;
  while ((at = out.find("\r\n")) != std::string::npos) out.replace(at, 2, "\n");
  return out;
}

const char* Meaning(int exitCode) {
  switch (exitCode) {
    case ExitInstalled:
      return "installed";
    case ExitUninstalled:
      return "uninstalled";
    case ExitNothingToReport:
      return "nothing to report";
    case ExitDefaultSet:
      return "default printer set";
    case ExitNoCommand:
      return "no command";
    case ExitErrorsLogged:
      return "error lines written to the run log";
    case ExitRestartNeeded:
      return "files scheduled for deletion at restart";
    case ExitDefaultPrinter:
      return "the default printer needs attention";
    case ExitDriverCurrent:
      return "the product printer's driver is current";
    case ExitFilesPending:
      return "product files are pending deletion";
    default:
      return "unknown";
  }
}

}  // namespace

void PrintDialog(const winsim::DialogRecord& dialog) {
  std::printf("== %s", winsim::Narrow(dialog.title).c_str());
  if (dialog.owner != nullptr) std::printf(" (owned by %llu)", static_cast<unsigned long long>(
                                                                   reinterpret_cast<std::uintptr_t>(dialog.owner)));
  std::printf("\n");
  auto text = dialog.items.find(kLogTextBox);
  if (text != dialog.items.end()) std::printf("%s", ForTerminal(text->second).c_str());
  std::printf("== closed\n");
}

void PrintExitCode(int exitCode) { std::printf("exit code: %d (%s)\n", exitCode, Meaning(exitCode)); }

}  // namespace vexsim
