// The uninstall commands: remove every piece of the product.
#pragma once
#include <windows.h>

#include "../shell/install_context.h"
#include "run_outcome.h"

// Stops the tray companion and removes the product printers (their settings
// saved), the driver and the port monitor (unless the version gate keeps a
// compatible one). Shared by the uninstall command and the reinstall.
void UnInstall(InstallContext& context);

// UnInstall, then the leftovers: pending deletions of the system that can go
// now, and files still listed, once more with the spooler stopped.
void UnInstallAndClean(InstallContext& context);

RunOutcome RunUnInstall(HWND owner);
