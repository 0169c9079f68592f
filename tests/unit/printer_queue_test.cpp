#include "spooler/printer_queue.h"

#include <string>
#include <vector>

#include <winsim_presets/queues.h>

#include "test_support.h"

namespace {

using Lines = std::vector<std::string>;

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

// The queue's job is purged before the deletion; no name would open the
// print server, not a printer. A job the purge left keeps the deleted
// printer, pending deletion, whatever the log says.
TEST_F(PrinterQueueTest, DeleteOnePrinterPurgesAndDeletesOrReportsWhy) {
  const struct {
    LPCWSTR name;
    DWORD grantable;      // rights OpenPrinterW may grant
    const char* refused;  // the spooler call that fails with ERROR_ACCESS_DENIED
    std::string outcome;
    bool gone;
  } cases[] = {
      {TEXT("Queue"), PRINTER_ALL_ACCESS, nullptr, "OK", true},
      {nullptr, PRINTER_ALL_ACCESS, nullptr, "Error(16): Can`t open printer '*' - (The printer name is invalid.)",
       false},
      {TEXT("Queue"), PRINTER_ALL_ACCESS & ~DWORD{DELETE}, nullptr,
       "Error(16): Can`t open printer 'Queue' - (Access is denied.)", false},
      {TEXT("Queue"), PRINTER_ALL_ACCESS, "DeletePrinter",
       "Error(17): Can`t delete printer 'Queue' - (Access is denied.)", false},
      {TEXT("Queue"), PRINTER_ALL_ACCESS, "SetPrinterW", "OK", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.outcome + (c.refused ? std::string(", refused: ") + c.refused : ""));
    winsim::Spooler& spooler = NewQueueMachine();
    winsim::presets::AddPrinter(machine(), u"Queue", u"LPT1:", u"Plain driver").jobs.push_back({1, u"letter"});
    spooler.grantableAccess = c.grantable;
    if (c.refused) machine().FailNext(c.refused, ERROR_ACCESS_DENIED);
    DeleteOnePrinter(context, c.name);
    EXPECT_EQ(LogLines(context), (Lines{">DeletePrinter(" + (c.name ? Utf8(c.name) : "*") + ")", "  " + c.outcome}));
    const winsim::Printer* queue = spooler.FindPrinter(u"Queue");
    EXPECT_EQ(queue == nullptr, c.gone);
    const bool opened = c.outcome.find("(16)") == std::string::npos;
    const bool purged = opened && !(c.refused && std::string(c.refused) == "SetPrinterW");
    if (queue != nullptr) {
      EXPECT_EQ(queue->jobs.empty(), purged);
    }
  }
}

// The monitor check only informs the log; whatever the spooler refuses is
// error 15. No data type given: winprint's default.
TEST_F(PrinterQueueTest, AddProductPrinterCreatesTheQueueOrReportsTheRefusal) {
  const struct {
    LPCWSTR name;
    bool monitor;
    std::string outcome;
  } cases[] = {
      {TEXT("Ravelquill"), true, "OK :)"},
      {TEXT("Ravelquill"), false, "Error(15): Can`t add printer 'Ravelquill' - (The specified port is unknown.)"},
      {nullptr, true, "Error(15): Can`t add printer '*' - (The printer name is invalid.)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.outcome);
    winsim::Spooler& spooler = NewQueueMachine();
    if (!c.monitor) spooler.monitors.pop_back();
    context.LogDepth = 1;
    HANDLE printer = AddProductPrinter(context, c.name);
    const Lines lines = LogLines(context);
    EXPECT_EQ(lines.front(), std::string("  >AddPrinter(") + (c.name ? "Ravelquill" : "*") + ")");
    EXPECT_EQ(lines[2], c.monitor ? "    Port monitor is found" : "    No Ravelquill port monitor was found.");
    EXPECT_EQ(lines.back(), "    " + c.outcome);
    EXPECT_EQ(context.LogDepth, 1);
    EXPECT_EQ(context.ErrorCount, printer ? 0 : 1);
    if (printer == nullptr) continue;
    ClosePrinter(printer);
    const winsim::Printer& created = *spooler.FindPrinter(u"Ravelquill");
    EXPECT_EQ(
        winsim::Narrow(created.port + u"|" + created.driver + u"|" + created.printProcessor + u"|" + created.datatype),
        "Ravelquill:|Ravelquill printer|WinPrint|RAW");
  }
}

}  // namespace
