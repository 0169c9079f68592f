// What vexsim prints: the log windows a run showed, its exit code with its
// meaning, and a machine as a person reads it.
#pragma once
#include <winsim/desktop.h>
#include <winsim/machine.h>

namespace vexsim {

// The window as a person sees it: its title, then the text box's lines.
void PrintDialog(const winsim::DialogRecord& dialog);

// "exit code: 101 (files scheduled for deletion at restart)".
void PrintExitCode(int exitCode);

void Show(const winsim::Machine& machine);

}  // namespace vexsim
