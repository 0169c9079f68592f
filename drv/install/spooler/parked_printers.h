// Printers moved off the product's port while its monitor is replaced:
// "parked" on "file:" and returned to "Ravelquill:" afterwards. The port
// text of each snapshot record is rewritten in place, inside its own
// storage in the Printers block.
#pragma once
#include <windows.h>
#include <winspool.h>

#include "../shell/install_context.h"

// The port the printers wait on.
constexpr LPCWSTR ParkingPortName = TEXT("file:");

// Moves every snapshot printer whose port text holds "Ravelquill:" to
// "file:" (first occurrence) and lists them in a new ParkedPrinters.
void ParkProductPrinters(InstallContext& context);

// Moves each parked printer back: the first "file:" of its port text
// becomes "Ravelquill:". A text whose storage has no room for the longer
// name (it was not shortened by parking) is left as it is and logged.
void ReturnParkedPrinters(InstallContext& context);
