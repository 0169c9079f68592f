// A snapshot of the local printers and printer connections at level 2.
#pragma once
#include <windows.h>
#include <winspool.h>

#include "spooler_fetch.h"

struct PrinterEnumeration {
  GlobalBlock<PRINTER_INFO_2W> Buffer;  // records, then their data
  DWORD Count = 0;
};

// Refills the enumeration; any failure leaves it empty. An allocation
// failure leaves the last error at E_OUTOFMEMORY.
void EnumLocalPrinters(PrinterEnumeration& printers);

// Releases the block; the enumeration becomes empty.
void FreePrinterEnumeration(PrinterEnumeration& printers);
