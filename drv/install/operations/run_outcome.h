#pragma once
#include <windows.h>

// What an install or uninstall run reports to WinMain.
struct RunOutcome {
  bool ErrorsLogged;
  DWORD ScheduledDeletes;  // files handed to Windows for deletion at restart
};
