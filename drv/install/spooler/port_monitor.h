// The product's port monitor "Ravelquill:": listing, install and removal.
#pragma once
#include <windows.h>
#include <winspool.h>

#include "../shell/install_context.h"
#include "../shell/product.h"
#include "../shell/spooler_fetch.h"

// Monitors as EnumMonitorsW gives them, in a block the enumeration owns;
// empty when there are none.
struct MonitorEnumeration {
  GlobalBlock<BYTE> Buffer;
  DWORD Level = 0;  // 2 from EnumMonitorsAll; 1 (names only) is read as well
  DWORD Count = 0;
};

// Every monitor of the local machine at level 2. Failures are plain log
// lines and leave the enumeration empty.
void EnumMonitorsAll(InstallContext& context, MonitorEnumeration& monitors);
// The index of the first monitor named exactly "Ravelquill:", or -1.
LONG FindProductMonitor(const MonitorEnumeration& monitors);
// The monitors as a numbered list between two rules.
void LogMonitorList(InstallContext& context, const MonitorEnumeration& monitors);
// The line that says the product's monitor is not among them.
void LogNoProductMonitor(InstallContext& context);

// Copies and registers the monitor and returns the parked printers to its port.
void InstallPortMonitor(InstallContext& context);
// Removes the monitor and its module, or keeps a compatible one (the gate).
void RemovePortMonitor(InstallContext& context, const MonitorEnumeration& monitors);
// DeleteMonitorW of "Ravelquill:" in `environment` on the local machine;
// writes nothing and leaves the call's last error.
BOOL DeleteProductMonitor(LPCWSTR environment);
