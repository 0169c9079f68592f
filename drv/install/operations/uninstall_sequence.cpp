#include "uninstall_sequence.h"

#include "../shell/install_context.h"
#include "../shell/log_window.h"

RunOutcome RunUnInstall(HWND owner) {
  InstallContext context;
  InitContext(context, InitFlagX64);
  ShowLogWindowIfNeeded(context, owner);
  RunOutcome outcome{context.ErrorCount != 0, 0};
  FreeContext(context);
  return outcome;
}
