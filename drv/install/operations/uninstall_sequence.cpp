#include "uninstall_sequence.h"

#include "../files/pending_deletes.h"
#include "../shell/log_window.h"
#include "../shell/run_log.h"
#include "../spooler/port_monitor.h"
#include "../spooler/printer_driver.h"
#include "../spooler/printer_settings.h"
#include "../tray/tray_companion.h"
#include "leftover_files.h"

void UnInstall(InstallContext& context) {
  LogLine(context, TEXT(">UnInstall"));
  LogDepthScope depth(context, 1);
  // The tray program holds the product's files and would restart it.
  StopTrayCompanion();

  // Both snapshots are taken before anything is removed, and not refreshed.
  LogLine(context, TEXT("EnumMonitors"));
  MonitorEnumeration monitors{};
  EnumMonitorsAll(context, monitors);
  LogLine(context, TEXT("%d Monitors found."), static_cast<int>(monitors.Count));
  LogLine(context, TEXT("EnumPrinterDrivers for %s"), context.Environment);
  DriverEnumeration drivers{};
  EnumPrinterDriversAll(drivers, context.Environment);
  LogLine(context, TEXT("%d drivers found"), static_cast<int>(drivers.Count));

  // Printers before their driver, the driver before the monitor.
  DeleteAllPrinters(context);
  RemovePrinterDriver(context, drivers);
  RemovePortMonitor(context, monitors);
  if (context.PendingDeletes != nullptr) DeleteListedFiles(context);
  // Leaving releases both snapshots, the driver list first (the reverse of
  // their declaration).
}

void UnInstallAndClean(InstallContext& context) {
  UnInstall(context);
  DeleteSystemPendingLeftovers();
  RetryListedFiles(context);
}

RunOutcome RunUnInstall(HWND owner) {
  InstallContext context;
  InitContext(context, InitFlagX64);
  UnInstallAndClean(context);
  const DWORD scheduled = ScheduleDeferredDeletes(context);
  ShowLogWindowIfNeeded(context, owner);
  RunOutcome outcome{context.ErrorCount != 0, scheduled, {}};
  // The log outlives the context: its file is written once the exit code is known.
  outcome.Log = context.LogText;
  context.LogText = TextBuffer{};
  FreeContext(context);
  return outcome;
}
