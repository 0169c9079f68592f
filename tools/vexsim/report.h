// What vexsim prints of a run: the log windows it showed, its exit code with
// its meaning.
#pragma once
#include <winsim/desktop.h>

namespace vexsim {

// The window as a person sees it: its title, then the text box's lines.
void PrintDialog(const winsim::DialogRecord& dialog);

// "exit code: 101 (files scheduled for deletion at restart)".
void PrintExitCode(int exitCode);

}  // namespace vexsim
