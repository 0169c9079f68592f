// shell32: command-line splitting.
#pragma once
#include "windef.h"

LPWSTR* WINAPI CommandLineToArgvW(LPCWSTR lpCmdLine, int* pNumArgs);

#ifdef WINSIM_TRACE_CALLS
#include <winsim/trace.h>
// How a trace shows each call: the letters are explained in winsim/trace.h.
#define CommandLineToArgvW(...) WINSIM_TRACED(CommandLineToArgvW, "m:sn")(__VA_ARGS__)
#endif
