#include "spooler/printer_queue.h"

#include <string>
#include <vector>

#include <winsim_presets/queues.h>

#include "test_support.h"

namespace {

using Lines = std::vector<std::string>;
using winsim::presets::AddPrinter;

class PrinterQueueTest : public ContextTest {
 protected:
  // A fresh product machine with the product's port and driver.
  winsim::Spooler& NewQueueMachine() {
    FreshRun();
    winsim::presets::AddProductPortAndDriver(machine());
    SetLastError(kPoisonError);
    return machine().spooler;
  }
};

TEST_F(PrinterQueueTest, DeleteOnePrinterPurgesAndDeletesOrReportsWhy) {
  const std::string invalid = " - (The printer name is invalid.)", denied = " - (Access is denied.)";
  const DWORD all = PRINTER_ALL_ACCESS, noDelete = PRINTER_ALL_ACCESS & ~DWORD{DELETE};
  struct Case {
    LPCWSTR name;
    DWORD grantable;  // rights OpenPrinterW may grant
    bool deletionRefused, gone, purged;
    std::string outcome;
  };
  const Case cases[] = {
      {TEXT("Queue"), all, false, true, true, "OK"},
      {TEXT("Nowhere"), all, false, false, false, "Error(16): Can`t open printer 'Nowhere'" + invalid},
      // No name would open the print server, not a printer.
      {nullptr, all, false, false, false, "Error(16): Can`t open printer '*'" + invalid},
      {TEXT("Queue"), noDelete, false, false, false, "Error(16): Can`t open printer 'Queue'" + denied},
      {TEXT("Queue"), all, true, false, true, "Error(17): Can`t delete printer 'Queue'" + denied},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.outcome);
    winsim::Spooler& spooler = NewQueueMachine();
    AddPrinter(machine(), u"Queue", u"LPT1:", u"Plain driver").jobs.push_back(winsim::PrintJob{1, u"letter"});
    spooler.grantableAccess = c.grantable;
    if (c.deletionRefused) machine().FailNext("DeletePrinter", ERROR_ACCESS_DENIED);

    DeleteOnePrinter(context, c.name);
    EXPECT_EQ(LogLines(context), (Lines{">DeletePrinter(" + (c.name ? Utf8(c.name) : "*") + ")", "  " + c.outcome}));
    EXPECT_EQ(context.ErrorCount, c.gone ? 0 : 1);
    EXPECT_EQ(context.LogDepth, 0);
    const winsim::Printer* queue = spooler.FindPrinter(u"Queue");
    EXPECT_EQ(queue == nullptr, c.gone);
    EXPECT_EQ(queue == nullptr || queue->jobs.empty(), c.purged);
  }
}

// The monitor check only informs the log; whatever the spooler refuses is
// error 15.
TEST_F(PrinterQueueTest, AddProductPrinterCreatesTheQueueOrReportsTheRefusal) {
  const Lines found = {"  Port monitor is found"};
  const Lines notFound = {"  No Ravelquill port monitor was found.", "  ------- 1 existing monitors ----------",
                          "  1. Local Port", "  ---------------------------------------"};
  const Lines noMonitors = {"  1. EnumMonitors returns true", "  No Ravelquill port monitor was found.",
                            "  BTW, there is no port monitors on this system."};
  const std::string refused = "  Error(15): Can`t add printer 'Ravelquill' - (";
  struct Case {
    LPCWSTR name;
    bool monitor, otherMonitors, driver;
    Lines check;
    std::string outcome;
  };
  const Case cases[] = {
      {TEXT("Ravelquill"), true, true, true, found, "  OK :)"},
      {TEXT("Ravelquill"), false, true, true, notFound, refused + "The specified port is unknown.)"},
      {TEXT("Ravelquill"), false, false, true, noMonitors, refused + "The specified port is unknown.)"},
      {TEXT("Ravelquill"), true, true, false, found, refused + "The printer driver is unknown.)"},
      {nullptr, true, true, true, found, "  Error(15): Can`t add printer '*' - (The printer name is invalid.)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.outcome);
    winsim::Spooler& spooler = NewQueueMachine();
    if (!c.monitor) spooler.monitors.pop_back();
    if (!c.otherMonitors) spooler.monitors.clear();
    if (!c.driver) spooler.drivers.pop_back();
    context.LogDepth = 1;

    HANDLE printer = AddProductPrinter(context, c.name);
    Lines expected = {std::string(">AddPrinter(") + (c.name ? "Ravelquill" : "*") + ")",
                      "  Let's check our port monitors"};
    expected.insert(expected.end(), c.check.begin(), c.check.end());
    expected.push_back(c.outcome);
    for (std::string& line : expected) line = "  " + line;
    EXPECT_EQ(LogLines(context), expected);
    EXPECT_EQ(context.LogDepth, 1);
    EXPECT_EQ(context.ErrorCount, printer ? 0 : 1);
    if (printer == nullptr) continue;
    ClosePrinter(printer);
    const winsim::Printer& created = *spooler.FindPrinter(u"Ravelquill");
    // No data type given: winprint's default.
    EXPECT_EQ(
        winsim::Narrow(created.port + u"|" + created.driver + u"|" + created.printProcessor + u"|" + created.datatype),
        "Ravelquill:|Ravelquill printer|WinPrint|RAW");
  }
}

}  // namespace
