// vexsim WORD...: runs the installer's WinMain on a simulated Windows x64
// with the product installed in "C:\Program Files\Ravelquill\bin\", prints
// what the log window would show, and exits with the installer's exit code.
#include <cstdio>
#include <string>

#include <winsim/machine.h>

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

}  // namespace

int main(int argc, char** argv) {
  winsim::SetCurrent(winsim::DefaultMachine());
  winsim::Machine& machine = winsim::Current();
  std::u16string commandLine = u"\"" + machine.process.modulePath + u"\"";
  for (int i = 1; i < argc; ++i) commandLine += u" " + QuoteArgument(winsim::Widen(argv[i]));

  const int exitCode = winsim::RunWinMain(commandLine);
  std::printf("exit code: %d\n", exitCode);
  return exitCode;
}
