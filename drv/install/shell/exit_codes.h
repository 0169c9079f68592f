// The exit codes the product's setup program reads: every outcome of a run
// is one of these, and none ever changes meaning.
#pragma once

constexpr int ExitInstalled = 1;         // install finished without error lines or deferred deletes
constexpr int ExitUninstalled = 2;       // uninstall finished without error lines or deferred deletes
constexpr int ExitNothingToReport = 3;   // onChkDrv / onInit: nothing to report
constexpr int ExitDefaultSet = 4;        // def.set ran
constexpr int ExitNoCommand = 6;         // no command word, an unknown word, or removetray
constexpr int ExitErrorsLogged = 100;    // error lines were written (also: the run ran out of memory)
constexpr int ExitRestartNeeded = 101;   // files were scheduled for deletion at the next restart
constexpr int ExitDefaultPrinter = 102;  // onInit: the default printer needs attention
constexpr int ExitDriverCurrent = 103;   // onChkDrv: the product printer's driver is of build 2416 or later
constexpr int ExitFilesPending = 200;    // onInit: product files are pending deletion
