// Control of the Windows service "spooler": the installer stops it to reach
// files it holds open and starts it again afterwards.
#pragma once
#include <windows.h>
#include <winsvc.h>

#include "../shell/install_context.h"

// A stop of the spooler and what is needed to start it again. RestartSpooler
// opens it, FinishSpoolerRestart closes it, exactly once; the installer
// restarts the spooler only through SpoolerRestartScope, which does both.
struct SpoolerRestart {
  InstallContext* Context;  // where lines go; null logs nothing
  SC_HANDLE ServiceManager;
  SC_HANDLE Service;   // null when the spooler could not be opened
  BYTE StopRequested;  // a stop control was sent, whatever its outcome
};

// Starts an opened service (SERVICE_START and SERVICE_QUERY_STATUS) and waits
// up to 10 seconds for it to run. Logs nothing.
bool EnsureServiceRunning(SC_HANDLE service);

// Makes sure the spooler runs when a run starts; false when it could not be
// opened or started. A failed status query counts as running.
bool CheckSpooler(InstallContext& context);

// Stops the spooler and fills `restart` for FinishSpoolerRestart, which must
// follow also when this failed. Whether the stop worked shows in the log only.
void RestartSpooler(SpoolerRestart& restart, InstallContext* context);

// Starts the spooler again when a stop was requested and closes the handles.
// A second call on a finished record does nothing.
void FinishSpoolerRestart(SpoolerRestart& restart);

// The spooler stopped for the life of a scope and started again on every
// way out: the one way the installer restarts it. A scope of its own,
// `{ SpoolerRestartScope restart(...); }`, is a plain restart.
class SpoolerRestartScope {
 public:
  explicit SpoolerRestartScope(InstallContext* context) { RestartSpooler(restart_, context); }
  ~SpoolerRestartScope() { FinishSpoolerRestart(restart_); }
  SpoolerRestartScope(const SpoolerRestartScope&) = delete;
  SpoolerRestartScope& operator=(const SpoolerRestartScope&) = delete;

 private:
  SpoolerRestart restart_{};
};
