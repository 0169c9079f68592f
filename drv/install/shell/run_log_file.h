// The run log kept as a file. Each install and uninstall leaves its whole
// log and the exit code it ended with under the machine-wide application
// data folder, so a run that no one watched (a deployment tool's, running
// the setup as SYSTEM with no window shown) still leaves its account. Best
// effort: nothing here changes the run's log, its window or its exit code.
#pragma once
#include <windows.h>

#include "text_buffer.h"

// The newest log files kept; older ones are deleted after each run.
constexpr DWORD RunLogFilesKept = 20;
// Names tried for the runs of one second: the plain name, then -2, -3, ...
constexpr DWORD RunLogNamesPerSecond = 100;

// Writes the run log `log`, then the line "exit code: N (meaning)", as UTF-8
// with CR LF to a new file in ProductDataFolder\RunLogFolder under the
// machine-wide application data folder, then keeps only the newest
// RunLogFilesKept log files there: files named exactly as it names them,
// never another. `word` is the command word as the installer spells it
// (a-z and "_"); any other word keeps no file.
void KeepRunLogFile(const TextBuffer& log, LPCWSTR word, int exitCode);

// The same under `dataFolder` in place of the folder Windows names. True
// when the file was written whole; a file not written whole is deleted.
bool KeepRunLogFileIn(LPCWSTR dataFolder, const TextBuffer& log, LPCWSTR word, int exitCode);
