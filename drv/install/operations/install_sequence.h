// The install commands: every install is a reinstall.
#pragma once
#include <windows.h>

#include "run_outcome.h"

RunOutcome RunInstall(bool noTray, HWND owner);
