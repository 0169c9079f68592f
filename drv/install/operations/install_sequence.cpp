#include "install_sequence.h"

#include "../files/pending_deletes.h"
#include "../shell/log_window.h"
#include "../shell/run_log.h"
#include "../spooler/port_monitor.h"
#include "../spooler/printer_driver.h"
#include "../spooler/printer_settings.h"
#include "../spooler/spooler_service.h"
#include "../tray/tray_companion.h"
#include "leftover_files.h"
#include "uninstall_sequence.h"

namespace {

void ForgetPendingDeletes(InstallContext& context) {
  StringListFree(context.PendingDeletes);
  context.PendingDeletes = nullptr;
}

}  // namespace

void ReInstall(InstallContext& context) {
  LogLine(context, TEXT(">ReInstall"));
  LogDepthScope depth(context, 2);
  context.CheckMonitorVersion = 1;
  UnInstall(context);

  if (context.PendingDeletes != nullptr) {
    // The spooler holds the old modules while it runs. What resists even
    // now is forgotten, not scheduled for deletion at restart.
    SpoolerRestartScope stopped(&context);
    DeleteListedFiles(context);
    ForgetPendingDeletes(context);
  }
  DeleteSystemPendingLeftovers();

  if (context.InstallMonitor) InstallPortMonitor(context);
  InstallPrinterDriver(context);
  RestorePrinterSettings(context);
  StartTrayCompanion(context);

  // Staged driver copies still held open.
  RetryListedFiles(context);
}

RunOutcome RunInstall(bool noTray, HWND owner) {
  InstallContext context;
  InitContext(context, noTray ? (InitFlagX64 | InitFlagNoTray) : InitFlagX64);
  LogLine(context, TEXT(">>0010"));
  ReInstall(context);
  const DWORD scheduled = ScheduleDeferredDeletes(context);
  ShowLogWindowIfNeeded(context, owner);
  RunOutcome outcome{context.ErrorCount != 0, scheduled, {}};
  // Written after the window has closed, so never shown.
  LogLine(context, TEXT(">>0020"));
  // The log outlives the context: its file is written once the exit code is known.
  outcome.Log = context.LogText;
  context.LogText = TextBuffer{};
  FreeContext(context);
  return outcome;
}
