// The installer's whole entry over an arbitrary command line (the bytes as
// UTF-16; a byte left over from the pairs holds Shift down when it is odd)
// on a fresh product machine: CommandLineToArgvW splits it, WinMain picks
// the command word and the owner window and runs it to its exit code.
// A log window it opens is closed as the user's scripted button closes it,
// and the virtual clock bounds every wait, so no input runs for long.
// Whatever the line, the exit code is one of the product's, and the run
// leaves no handle and no heap block behind.
#include <winsim/machine.h>
#include <winsim_presets/product.h>

#include "fuzz_support.h"
#include "shell/exit_codes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::unique_ptr<winsim::Machine> product = winsim::presets::ProductMachine();
  winsim::Machine& machine = CopyOf(*product);
  machine.desktop.shiftDown = size % 2 == 1 && (data[size - 1] & 1) != 0;
  const int code = winsim::RunWinMain(winsim::presets::kInstallerPath, Utf16(data, size));

  const int codes[] = {ExitInstalled,    ExitUninstalled,   ExitNothingToReport, ExitDefaultSet,    ExitNoCommand,
                       ExitErrorsLogged, ExitRestartNeeded, ExitDefaultPrinter,  ExitDriverCurrent, ExitFilesPending};
  bool known = false;
  for (int c : codes) known = known || c == code;
  Check(known);
  Check(machine.processes.at(machine.caller).handlesLeftOpen == 0);
  Check(machine.memory.globalBlocks.empty() && machine.memory.localBlocks.empty());
  return 0;
}
