// vexsim [--shift] WORD...: runs the installer's WinMain on a simulated
// Windows x64 with the product in "C:\Program Files\Ravelquill\bin\", prints
// each log window the run shows (title, then text), and exits with the
// installer's exit code, printed last.
#include <cstdio>
#include <cstring>
#include <string>

#include <winsim/machine.h>
#include <winsim_presets/product.h>

namespace {

// Quotes one element so that CommandLineToArgvW gives it back unchanged.
std::u16string QuoteArgument(const std::u16string& arg) {
  if (!arg.empty() && arg.find_first_of(u" \t\"") == std::u16string::npos) return arg;
  std::u16string quoted = u"\"";
  std::size_t backslashes = 0;
  for (char16_t c : arg) {
    if (c == u'\\') {
      ++backslashes;
    } else if (c == u'"') {
      quoted.append(backslashes + 1, u'\\');
      backslashes = 0;
    } else {
      backslashes = 0;
    }
    quoted.push_back(c);
  }
  quoted.append(backslashes, u'\\');
  quoted.push_back(u'"');
  return quoted;
}

// The log as the text box shows it, with the line ends of this terminal.
std::string ForTerminal(const std::u16string& text) {
  std::string out = winsim::Narrow(text);
  std::string::size_type at;
  while ((at = out.find("\r\n")) != std::string::npos) out.replace(at, 2, "\n");
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  winsim::SetCurrent(winsim::presets::ProductMachine());
  winsim::Machine& machine = winsim::Current();
  std::u16string commandLine = winsim::presets::InstallerCommandLine();
  int first = 1;
  if (argc > 1 && std::strcmp(argv[1], "--shift") == 0) {
    machine.desktop.shiftDown = true;  // held at the end of the run: the log is shown
    ++first;
  }
  for (int i = first; i < argc; ++i) commandLine += u" " + QuoteArgument(winsim::Widen(argv[i]));

  const int exitCode = winsim::RunWinMain(winsim::presets::kInstallerPath, commandLine);
  for (const winsim::DialogRecord& dialog : machine.desktop.dialogs) {
    auto text = dialog.items.find(1001);
    std::printf("== %s\n%s", winsim::Narrow(dialog.title).c_str(),
                text == dialog.items.end() ? "" : ForTerminal(text->second).c_str());
    std::printf("== closed\n");
  }
  std::printf("exit code: %d\n", exitCode);
  return exitCode;
}
