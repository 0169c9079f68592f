// shell32: command-line splitting.
#pragma once
#include "windef.h"

LPWSTR* WINAPI CommandLineToArgvW(LPCWSTR lpCmdLine, int* pNumArgs);
