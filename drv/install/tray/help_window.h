// The product's help, shown by the Windows HTML Help viewer.
#pragma once
#include <windows.h>

// Asks every open help window of the product to close, so that an install
// or uninstall can replace the help file; gives up after a bounded time on a
// window that does not close.
void CloseHelpWindow();
