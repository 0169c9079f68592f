// The uninstall commands: remove every piece of the product.
#pragma once
#include <windows.h>

#include "run_outcome.h"

RunOutcome RunUnInstall(HWND owner);
