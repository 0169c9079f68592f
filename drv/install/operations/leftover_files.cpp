#include "leftover_files.h"

#include "../files/pending_deletes.h"
#include "../files/pending_renames.h"
#include "../spooler/spooler_service.h"

void DeleteSystemPendingLeftovers() {
  PendingRenameList renames = ReadPendingRenames();
  DeletePendingLeftovers(renames);
  FreePendingRenameList(renames);
}

void RetryListedFiles(InstallContext& context) {
  if (context.PendingDeletes == nullptr) return;
  DeleteListedFiles(context);
  if (context.PendingDeletes == nullptr) return;
  SpoolerRestartScope stopped(&context);
  DeleteListedFiles(context);
}
