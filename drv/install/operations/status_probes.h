// The short status questions and the default-printer change. Each answers
// through the exit code alone: no context, no run log; every failure only
// shapes the answer.
#pragma once
#include <windows.h>

// True when product files still wait in the pending rename list after one
// spooler restart. Deletes the pending deletions it can on the way, and
// restarts the spooler after each look that finds one (so twice when true).
bool CheckPendingProductFiles();

// True when there is no default printer, or it is not a product printer, or
// it cannot be examined.
bool CheckDefaultPrinter();

// True when the driver file of the first product printer has a build of
// 2416 or later; false when it is older, unreadable or there is none.
bool CheckDriverBuild();

// Makes the first product printer the default printer; without one,
// nothing changes.
void SetProductPrinterDefault();

// ClosePrinter's result; the probes ignore a failure to close.
BOOL ClosePrinterHandle(HANDLE printer);
