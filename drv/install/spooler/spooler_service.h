// Control of the Windows service "spooler".
#pragma once
#include <windows.h>

#include "../shell/install_context.h"

// Makes sure the spooler runs when a run starts; false when it could not be
// opened or started.
bool CheckSpooler(InstallContext& context);
