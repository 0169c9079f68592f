// user32: top-level windows of the desktop.
#include <windows.h>

#include "api.h"

using namespace winsim;

BOOL WINAPI IsWindow(HWND hWnd) { return M().desktop.windows.count(hWnd) != 0 ? TRUE : FALSE; }
