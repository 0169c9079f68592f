#include "report.h"

#include <cstdio>
#include <string>

#include <winsim/machine.h>

#include "shell/exit_codes.h"
#include "shell/resource.h"

namespace vexsim {
namespace {

// A text of the machine with the line ends of this terminal.
std::string ForTerminal(const std::u16string& text) {
  std::string out = winsim::Narrow(text);
  std::string::size_type at;
  while ((at = out.find("\r\n")) != std::string::npos) out.replace(at, 2, "\n");
  return out;
}

}  // namespace

void PrintDialog(const winsim::DialogRecord& dialog) {
  std::printf("== %s", winsim::Narrow(dialog.title).c_str());
  if (dialog.owner != nullptr)
    std::printf(" (owned by %llu)", static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(dialog.owner)));
  std::printf("\n");
  auto text = dialog.items.find(IDC_LOG_TEXT);
  if (text != dialog.items.end()) std::printf("%s", ForTerminal(text->second).c_str());
  std::printf("== closed\n");
}

void PrintExitCode(int exitCode) {
  std::printf("exit code: %d (%s)\n", exitCode, winsim::Narrow(ExitCodeMeaningOf(exitCode)).c_str());
}

}  // namespace vexsim
