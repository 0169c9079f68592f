#include "uninstall_sequence.h"

#include "../shell/install_context.h"

RunOutcome RunUnInstall(HWND owner) {
  (void)owner;
  InstallContext context;
  InitContext(context, InitFlagX64);
  RunOutcome outcome{context.ErrorCount != 0, 0};
  FreeContext(context);
  return outcome;
}
