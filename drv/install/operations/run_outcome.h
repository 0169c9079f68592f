#pragma once
#include <windows.h>

#include "../shell/text_buffer.h"

// What an install or uninstall run reports to WinMain.
struct RunOutcome {
  bool ErrorsLogged;
  DWORD ScheduledDeletes;  // files handed to Windows for deletion at restart
  // The whole run log, lines written after the window included, handed over
  // for its file: the receiver releases it (TextFree).
  TextBuffer Log;
};
