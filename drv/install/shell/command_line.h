// Reading the installer's command line.
#pragma once
#include <windows.h>

// Reads a signed decimal as the run-time's wcstol does for base 10 with a
// 32-bit long: leading white space, one sign, digits up to the first other
// character; values beyond the 32-bit range are clamped to it.
LONG ReadSignedDecimal(LPCWSTR text);

// The owner window named by a command-line element, or null when the number
// names no window.
HWND ParseOwnerWindow(LPCWSTR text);
