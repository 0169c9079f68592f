// Every numbered error line of the run log, met through WinMain: the fault
// that causes it, the line as written, exit code 100, the error log shown,
// and the run carried on past the failing step.
#include <functional>
#include <string>

#include <winsim_presets/driver.h>
#include <winsim_presets/monitor.h>
#include <winsim_presets/queues.h>

#include "shell/exit_codes.h"
#include "shell/resource.h"
#include "shell/run_log.h"
#include "test_support.h"

namespace {

using winsim::Machine;

// A product printer with a settings name, so a reinstall re-creates it.
void NamedProductPrinter(Machine& m) {
  winsim::presets::AddProductPortAndDriver(m);
  winsim::Printer& p = winsim::presets::AddPrinter(m, u"Office", u"Ravelquill:", winsim::presets::kProductDriverName);
  winsim::presets::PutSettingsName(p, u"PrinterDriverData", "office");
}

const std::string kStaged = "C:\\Windows\\system32\\spool\\DRIVERS\\x64\\vexdrv64.dll";

struct Row {
  int number;
  std::function<void(Machine&)> arrange;
  const char16_t* command;
  std::string line;   // the error line as the log window shows it
  std::string later;  // the start of a line a later step writes
};

const Row kMatrix[] = {
    {1, [](Machine& m) { m.FailNext("OpenSCManagerW", ERROR_ACCESS_DENIED); }, u"in",
     "  Error(1): Can't open service manager. - (Access is denied.)", "    >AddPrinter("},
    {2, [](Machine& m) { m.FailNext("OpenServiceW", ERROR_SERVICE_DOES_NOT_EXIST); }, u"un",
     "  Error(2): Can't open the spooler - (The specified service does not exist as an installed service.)",
     "  >DeleteMonitor"},
    // A stop that takes longer than the wait; no call fails, so the line
    // carries no system text.
    {3,
     [](Machine& m) {
       winsim::presets::AddProductDriver(m);
       m.FailNext("DeletePrinterDriverExW", ERROR_PRINTER_DRIVER_IN_USE);
       m.services.spooler.stopMs = 15000;
     },
     u"un", "    Error(3): Can't stop the spooler", "    OK :)"},
    {4,
     [](Machine& m) {
       winsim::EnterServiceState(m, SERVICE_STOPPED);
       m.FailNext("StartServiceW", ERROR_SERVICE_DISABLED, 100);
     },
     u"in",
     "  Error(4): Can't start the spooler - (The service cannot be started, either because it is disabled or "
     "because it has no enabled devices associated with it.)",
     "    >AddPrinter("},
    {5,
     [](Machine& m) {
       winsim::presets::AddProductDriver(m);
       m.FailNext("DeletePrinterDriverExW", ERROR_PRINTER_DRIVER_IN_USE);
       m.FailNext("ControlService", ERROR_ACCESS_DENIED);
     },
     u"un", "    Error(5): ControlService failed with code 5 (0x5) - (Access is denied.)", "  >DeleteMonitor"},
    {6, [](Machine& m) { m.FailNext("GetPrinterDriverDirectoryW", RPC_S_SERVER_UNAVAILABLE); }, u"in",
     "Error(6): Can`t retrieve printer driver directory. - (The RPC server is unavailable.)", "    >AddPrinter("},
    {7, [](Machine& m) { m.FailNext("GetSystemDirectoryW", ERROR_ACCESS_DENIED); }, u"un",
     "Error(7): Can`t retrieve system directory. - (Access is denied.)", "  >DeleteMonitor"},
    {8, [](Machine& m) { m.FailNext("WriteFile", ERROR_DISK_FULL); }, u"in",
     "        Error(8): CopyFile(..,C:\\Windows\\system32\\vexmon64.dll) - (There is not enough space on the disk.)",
     "    >AddPrinter("},
    // No call fault reaches the destination: the source is opened first.
    {9,
     [](Machine& m) {
       m.files.Put(winsim::Widen(kStaged), {1});
       winsim::LockFile(m, winsim::Widen(kStaged));
     },
     u"in",
     "        Error(9): Cant't open destination file: " + kStaged +
         " - (The process cannot access the file because it is being used by another process.)",
     "    >AddPrinter("},
    {10, [](Machine& m) { m.FailNext("CreateFileW", ERROR_ACCESS_DENIED, 2); }, u"in",
     "        Error(10): Cant't open source file: vexmon64.dll - (Access is denied.)", "    >Add Printer Driver"},
    // The monitor's own initialisation fails with a code of its own, which
    // the system has no text for.
    {11, [](Machine& m) { m.FailNext("AddMonitorW", 0x20000001, 5); }, u"in",
     "      Error(11): Can`t install a local port monitor'Ravelquill:' - ( No Description )",
     "    >Add Printer Driver"},
    {12,
     [](Machine& m) {
       winsim::presets::AddProductMonitor(m, 2415);
       m.FailNext("DeleteMonitorW", ERROR_PRINT_MONITOR_IN_USE, 3);
     },
     u"in",
     "        Error(12): Can`t remove the port monitor 'Ravelquill:' - (The specified print monitor is currently in "
     "use.)",
     "    >AddMonitor"},
    {13, [](Machine& m) { m.FailNext("AddPrinterDriverExW", ERROR_ACCESS_DENIED); }, u"in",
     "      Error(13): Can`t install a printer driver 'Ravelquill printer' - (Access is denied.)", "    >AddPrinter("},
    {14,
     [](Machine& m) {
       winsim::presets::AddProductDriver(m);
       m.FailNext("DeletePrinterDriverExW", ERROR_PRINTER_DRIVER_IN_USE, 2);
     },
     u"un",
     "    Error(14): Can`t remove the printer-driver 'Ravelquill printer' - (The specified printer driver is "
     "currently in use.)",
     "  >DeleteMonitor"},
    {15,
     [](Machine& m) {
       NamedProductPrinter(m);
       m.FailNext("AddPrinterW", ERROR_ACCESS_DENIED);
     },
     u"in", "      Error(15): Can`t add printer 'Office' - (Access is denied.)", "    >AddPrinter(Ravelquill)"},
    // The first open is the settings read's, which fails quietly.
    {16,
     [](Machine& m) {
       NamedProductPrinter(m);
       m.FailNext("OpenPrinterW", ERROR_ACCESS_DENIED, 2);
     },
     u"un", "      Error(16): Can`t open printer 'Office' - (Access is denied.)", "  >DeleteMonitor"},
    {17,
     [](Machine& m) {
       NamedProductPrinter(m);
       m.FailNext("DeletePrinter", ERROR_ACCESS_DENIED);
     },
     u"un", "      Error(17): Can`t delete printer 'Office' - (Access is denied.)", "  >DeleteMonitor"},
};

using FaultMatrixTest = MachineTest;

TEST_F(FaultMatrixTest, EveryErrorLineIsMetThroughACommand) {
  int number = 0;
  for (const Row& row : kMatrix) {
    SCOPED_TRACE(row.number);
    EXPECT_EQ(row.number, ++number) << "one row per error number, in order";
    NextMachine();
    row.arrange(machine());
    EXPECT_EQ(Run(row.command), ExitErrorsLogged);
    ASSERT_EQ(machine().desktop.dialogs.size(), 1u);
    const winsim::DialogRecord& dialog = machine().desktop.dialogs.back();
    EXPECT_EQ(winsim::Narrow(dialog.title), "Ravelquill build 2446- Install error log!");
    const std::string log = "\r\n" + winsim::Narrow(dialog.items.at(IDC_LOG_TEXT));
    const std::size_t at = log.find("\r\n" + row.line + "\r\n");
    ASSERT_NE(at, std::string::npos) << log;
    EXPECT_NE(log.find("\r\n" + row.later, at + 2), std::string::npos) << log;
  }
  EXPECT_EQ(number, ErrorDeletePrinter) << "every error number has its row";
}

}  // namespace
