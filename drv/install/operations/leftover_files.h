// The clean-up steps the install and uninstall runs share.
#pragma once
#include "../shell/install_context.h"

// Deletes now the files the system's pending rename list would delete at
// the next restart.
void DeleteSystemPendingLeftovers();
// Tries the files of PendingDeletes again and, for those that resist, once
// more with the spooler stopped (it holds the product's modules while it runs).
void RetryListedFiles(InstallContext& context);
