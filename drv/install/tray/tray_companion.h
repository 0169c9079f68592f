// The tray companion program: registered to start with Windows and started
// after an install, stopped and removed before anything is removed.
#pragma once
#include <windows.h>

#include "../shell/install_context.h"
#include "../shell/product.h"
#include "../shell/text_buffer.h"

// "ravtray.exe" in the parent directory of `installDir` (which ends in its
// separator); the bare name when that directory part is empty. The caller
// frees the result.
TextBuffer TrayProgramPath(const TextBuffer& installDir);

// Registers the tray program in the Run key and starts it, unless the run is
// told not to (RegisterTray clear) or Windows is older than 6.0. Silent.
void StartTrayCompanion(const InstallContext& context);

// Asks a running tray program to quit and waits for it (bounded), then
// deletes the program file that the Run value names and the value. Silent.
void StopTrayCompanion();
