#include "printer_enumeration.h"

void FreePrinterEnumeration(PrinterEnumeration& printers) {
  printers.Buffer.Reset();
  printers.Count = 0;
}

void EnumLocalPrinters(PrinterEnumeration& printers) {
  FreePrinterEnumeration(printers);
  DWORD count = 0;
  DWORD needed = 0;
  auto enumerate = [&count](LPBYTE buffer, DWORD size, LPDWORD sized) {
    return EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 2, buffer, size, sized, &count);
  };
  // The spare 32 bytes guard against a spooler that writes a little past the
  // size it asked for.
  if (FetchSpoolerBlock(enumerate, printers.Buffer, needed, 32) != FetchOutcome::Filled) return;
  printers.Count = count;
}
