// The product's printer driver "Ravelquill printer": its install and
// removal, and the driver lookups the sequences and probes use.
#pragma once
#include <windows.h>
#include <winspool.h>

#include "../shell/install_context.h"
#include "../shell/product.h"
#include "../shell/spooler_fetch.h"

// Drivers as EnumPrinterDriversW gives them: a block of Count
// DRIVER_INFO_<Level> entries and their strings, which the enumeration owns.
// Empty (and Count 0) when there are none.
struct DriverEnumeration {
  GlobalBlock<BYTE> Buffer;
  DWORD Level = 0;  // 6 from EnumPrinterDriversAll; FindProductDriver reads 1 to 6
  DWORD Count = 0;
  // Why the list could not be fetched (the last error then), or 0: a list
  // that failed is not a list without the product's driver.
  DWORD Error = 0;
};

// The local machine's drivers of `environment` at level 6; any failure
// leaves the enumeration empty (E_OUTOFMEMORY when the block was refused)
// with its error kept.
void EnumPrinterDriversAll(DriverEnumeration& drivers, LPCWSTR environment);

// The index of the first entry named exactly "Ravelquill printer", or -1.
LONG FindProductDriver(const DriverEnumeration& drivers);

// Stages the driver, its user interface and its help file in DriverDir,
// registers the driver and deletes the staged copies again (those still
// held join PendingDeletes). E_FAIL when the driver or its user interface
// could not be staged or the spooler refused the driver; S_OK once it is
// registered.
HRESULT InstallPrinterDriver(InstallContext& context);

// Lists `drivers` (an enumeration of the context's Environment) into the
// log and deletes the product's driver with its files, restarting the
// spooler once when the spooler refuses.
void RemovePrinterDriver(InstallContext& context, const DriverEnumeration& drivers);

// The DRIVER_INFO_2 of an open printer, or an empty block.
GlobalBlock<DRIVER_INFO_2W> GetPrinterDriverInfo(HANDLE printer);
