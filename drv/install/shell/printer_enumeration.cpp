#include "printer_enumeration.h"

void FreePrinterEnumeration(PrinterEnumeration& printers) {
  if (printers.Buffer != nullptr) GlobalFree(printers.Buffer);
  printers.Buffer = nullptr;
  printers.Count = 0;
}

void EnumLocalPrinters(PrinterEnumeration& printers) {
  FreePrinterEnumeration(printers);
  const DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
  DWORD needed = 0;
  DWORD count = 0;
  if (EnumPrintersW(flags, nullptr, 2, nullptr, 0, &needed, &count) || GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    return;
  }
  // The spare 32 bytes guard against a spooler that writes a little past the
  // size it asked for.
  auto* block = static_cast<PRINTER_INFO_2W*>(GlobalAlloc(GPTR, SIZE_T{needed} + 32));
  if (block == nullptr) {
    SetLastError(static_cast<DWORD>(E_OUTOFMEMORY));
    return;
  }
  if (!EnumPrintersW(flags, nullptr, 2, reinterpret_cast<LPBYTE>(block), needed, &needed, &count)) {
    GlobalFree(block);
    return;
  }
  printers.Buffer = block;
  printers.Count = count;
}
