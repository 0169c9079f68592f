// The log window: the run log in a modal dialog at the end of a run.
#pragma once
#include <windows.h>

#include "install_context.h"

INT_PTR CALLBACK LogWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Shows the log when the run wrote an error line or the user holds Shift,
// owned by `owner` (may be null); returns once the user has closed it. Where
// no one can see it (the process's window station is not visible) it is not
// shown, and the run ends at once.
void ShowLogWindowIfNeeded(InstallContext& context, HWND owner);
