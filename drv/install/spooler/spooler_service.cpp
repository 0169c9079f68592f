#include "spooler_service.h"

#include "../shell/run_log.h"

bool CheckSpooler(InstallContext& context) {
  LogLine(context, TEXT(">Check Spooler"));
  LogDepthScope section(context, 1);
  return true;
}
