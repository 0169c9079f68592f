// The product's printer queues: the driver "Ravelquill printer" on the port
// "Ravelquill:". Fetching one printer's information, deleting a printer and
// creating a product printer.
#pragma once
#include <windows.h>
#include <winspool.h>

#include "../shell/install_context.h"
#include "../shell/spooler_fetch.h"

// One printer's level-2 information in a block it owns; empty when it could
// not be fetched.
struct PrinterInformation {
  GlobalBlock<PRINTER_INFO_2W> Buffer;
  DWORD Needed = 0;  // bytes the spooler asked for
};

// GetPrinterW level 2 of an open printer. Writes nothing; a failure leaves
// Buffer empty and the failing call's last error.
void GetPrinterInfo2(HANDLE printer, PrinterInformation& information);
// Purges and deletes the named printer, with its log section and error lines
// 16 and 17.
void DeleteOnePrinter(InstallContext& context, LPCWSTR name);
// Creates a product printer named `name`; its open handle (the caller closes
// it) or null after error line 15.
HANDLE AddProductPrinter(InstallContext& context, LPCWSTR name);

// AddPrinterW level 2 on the local machine; writes nothing and leaves the
// call's last error.
HANDLE AddPrinterLevel2(PRINTER_INFO_2W& info);
// Drops the printer's jobs (result ignored), then DeletePrinter; its result,
// with the call's last error.
BOOL PurgeAndDeletePrinter(HANDLE printer);
