// Small wide-string helpers; the installer uses no C run-time wide-string
// functions, so these are the only ones.
#pragma once
#include <windows.h>

// Number of characters before the terminator; 0 for null.
SIZE_T WideLength(LPCWSTR text);

// Exact, case-sensitive comparison; null equals only null or the empty text.
bool WideEqual(LPCWSTR a, LPCWSTR b);

// Treats A-Z and a-z as equal and compares every other character exactly.
bool WideEqualAsciiNoCase(LPCWSTR a, LPCWSTR b);
