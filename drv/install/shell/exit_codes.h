// The exit codes the product's setup program reads: every outcome of a run
// is one of these, and none ever changes meaning.
#pragma once
#include <windows.h>

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

// Each exit code in a few words, as the run log file's last line and vexsim
// print it ("exit code: 100 (error lines written to the run log)"), and as
// docs/deployment.md lists it for administrators.
struct ExitCodeMeaning {
  int Code;
  LPCWSTR Meaning;
};
constexpr ExitCodeMeaning ExitCodeMeanings[] = {
    {ExitInstalled, TEXT("installed")},
    {ExitUninstalled, TEXT("uninstalled")},
    {ExitNothingToReport, TEXT("nothing to report")},
    {ExitDefaultSet, TEXT("default printer set")},
    {ExitNoCommand, TEXT("no command")},
    {ExitErrorsLogged, TEXT("error lines written to the run log")},
    {ExitRestartNeeded, TEXT("files scheduled for deletion at restart")},
    {ExitDefaultPrinter, TEXT("the default printer needs attention")},
    {ExitDriverCurrent, TEXT("the product printer's driver is current")},
    {ExitFilesPending, TEXT("product files are pending deletion")},
};

// The words for `code`, or "unknown" for a code the installer never returns.
constexpr LPCWSTR ExitCodeMeaningOf(int code) {
  for (const ExitCodeMeaning& entry : ExitCodeMeanings) {
    if (entry.Code == code) return entry.Meaning;
  }
  return TEXT("unknown");
}
