// user32: windows, dialogs, keyboard state.
#pragma once
#include "windef.h"

BOOL WINAPI IsWindow(HWND hWnd);
