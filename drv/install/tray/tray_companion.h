// The tray companion program: registered to start with Windows and started
// after an install, stopped and removed before anything is removed.
#pragma once
#include <windows.h>

#include "../shell/install_context.h"
#include "../shell/text_buffer.h"

// The HKLM Run-key value that starts the tray program with Windows; its data
// is TrayProgramPath, unquoted.
inline const WCHAR TrayRunKey[] = TEXT("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
inline const WCHAR TrayRunValue[] = TEXT("RavelquillTray");

// What the tray program provides: it holds the mutex while it runs, owns a
// top-level window of the class, and quits on the message (both parameters 0).
inline const CHAR TrayInstanceMutex[] = "{A9CA955A-0A8A-4C32-AAC6-888FB5F83BDC}";
inline const WCHAR TrayWindowClass[] = TEXT("rvs::{05759F8E-103D-41B6-8A61-EFAA89516692}");
constexpr UINT TrayQuitMessage = WM_USER + 2;

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
