#pragma once
#include <windows.h>

// The module instance handle WinMain was given, kept for the whole run: the
// installer's own path and the log window's dialog resource come from it.
extern HINSTANCE ModuleInstance;
