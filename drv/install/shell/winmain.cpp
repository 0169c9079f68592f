// The program's entry: one command word per run, the outcome as exit code.
#include <windows.h>
#include <shellapi.h>

#include "../operations/install_sequence.h"
#include "../operations/status_probes.h"
#include "../operations/uninstall_sequence.h"
#include "../tray/help_window.h"
#include "../tray/tray_companion.h"
#include "command_line.h"
#include "exit_codes.h"
#include "module_instance.h"
#include "run_log_file.h"
#include "wide_text.h"

HINSTANCE ModuleInstance = nullptr;

namespace {

enum class Command { None, Install, InstallNoTray, Uninstall, RemoveTray, CheckDriver, CheckInit, SetDefault };

struct CommandWord {
  LPCWSTR Word;
  Command Kind;
};

// Matched without regard to the case of A-Z. The order is the order of the
// tests: a later word is only tried when no earlier one matched.
const CommandWord kCommandWords[] = {
    {TEXT("in"), Command::Install},
    {TEXT("install"), Command::Install},
    {TEXT("serverinstall"), Command::Install},
    {TEXT("in_notray"), Command::InstallNoTray},
    {TEXT("un"), Command::Uninstall},
    {TEXT("uninstall"), Command::Uninstall},
    {TEXT("removetray"), Command::RemoveTray},
    {TEXT("onChkDrv"), Command::CheckDriver},
    {TEXT("onInit"), Command::CheckInit},
};

const CommandWord kSetDefault = {TEXT("def.set"), Command::SetDefault};
const CommandWord kNoCommand = {nullptr, Command::None};

// The table's entry for `word`: its kind, and the word as the installer
// spells it, whatever case it was given in.
const CommandWord& FindCommand(LPCWSTR word) {
  for (const CommandWord& entry : kCommandWords) {
    if (WideEqualAsciiNoCase(word, entry.Word)) return entry;
  }
  // The one word matched exactly: its callers never vary its case.
  if (WideEqual(word, kSetDefault.Word)) return kSetDefault;
  return kNoCommand;
}

int ExitCodeOf(const RunOutcome& outcome, int success) {
  if (outcome.ErrorsLogged) return ExitErrorsLogged;
  if (outcome.ScheduledDeletes > 0) return ExitRestartNeeded;
  return success;
}

// The exit code of an install or uninstall, its log kept as a file first.
int FinishRun(RunOutcome outcome, int success, LPCWSTR word) {
  const int exitCode = ExitCodeOf(outcome, success);
  KeepRunLogFile(outcome.Log, word, exitCode);
  TextFree(outcome.Log);
  return exitCode;
}

int RunCommand(const CommandWord& entry, HWND owner) {
  const Command command = entry.Kind;
  // The help viewer holds the help file that install and uninstall replace.
  if (command == Command::Install || command == Command::InstallNoTray || command == Command::Uninstall) {
    CloseHelpWindow();
  }
  switch (command) {
    case Command::Install: return FinishRun(RunInstall(false, owner), ExitInstalled, entry.Word);
    case Command::InstallNoTray: return FinishRun(RunInstall(true, owner), ExitInstalled, entry.Word);
    case Command::Uninstall: return FinishRun(RunUnInstall(owner), ExitUninstalled, entry.Word);
    case Command::RemoveTray:
      // Its caller reads the same code as for no command.
      StopTrayCompanion();
      break;
    case Command::CheckDriver: return CheckDriverBuild() ? ExitDriverCurrent : ExitNothingToReport;
    case Command::CheckInit:
      // The default printer is only asked about once no product file waits.
      if (CheckPendingProductFiles()) return ExitFilesPending;
      return CheckDefaultPrinter() ? ExitDefaultPrinter : ExitNothingToReport;
    case Command::SetDefault: SetProductPrinterDefault(); return ExitDefaultSet;
    case Command::None: break;
  }
  return ExitNoCommand;
}

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
  ModuleInstance = hInstance;
  int count = 0;
  LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
  if (args == nullptr) return ExitNoCommand;  // cannot split: run nothing
  int exitCode = ExitNoCommand;
  if (count >= 2) {
    const HWND owner = count == 3 ? ParseOwnerWindow(args[2]) : nullptr;
    exitCode = RunCommand(FindCommand(args[1]), owner);
  }
  LocalFree(args);
  return exitCode;
}
