#include "install_sequence.h"

#include "../shell/install_context.h"
#include "../shell/log_window.h"
#include "../shell/run_log.h"

RunOutcome RunInstall(bool noTray, HWND owner) {
  InstallContext context;
  InitContext(context, noTray ? (InitFlagX64 | InitFlagNoTray) : InitFlagX64);
  LogLine(context, TEXT(">>0010"));
  ShowLogWindowIfNeeded(context, owner);
  RunOutcome outcome{context.ErrorCount != 0, 0};
  LogLine(context, TEXT(">>0020"));
  FreeContext(context);
  return outcome;
}
