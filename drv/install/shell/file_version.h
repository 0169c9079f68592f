#pragma once
#include <windows.h>

// The fourth number of a file's product version, or -1 when the file has
// none (or cannot be read).
LONG GetFileBuildNumber(LPCWSTR path);
