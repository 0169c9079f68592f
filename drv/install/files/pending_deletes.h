// Files the installer could not delete: tried again later, and in the end
// handed to Windows for deletion at the next restart.
#pragma once
#include <windows.h>

#include "../shell/install_context.h"

// Tries every path of PendingDeletes again and drops each one that is gone
// afterwards (deleted now, or already missing). Kept entries keep their order.
void DeleteListedFiles(InstallContext& context);

// Asks Windows to delete each listed path at the next restart, empties
// PendingDeletes, and returns how many requests Windows accepted.
DWORD ScheduleDeferredDeletes(InstallContext& context);
