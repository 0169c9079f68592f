// The install commands: every install is a reinstall.
#pragma once
#include <windows.h>

#include "../shell/install_context.h"
#include "run_outcome.h"

// Removes what an earlier installation left (keeping a compatible port
// monitor), clears the files that removal left behind, and installs the
// monitor, the driver, the printers and the tray companion again.
void ReInstall(InstallContext& context);

RunOutcome RunInstall(bool noTray, HWND owner);
