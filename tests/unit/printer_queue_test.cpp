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
  PrinterQueueTest() { winsim::presets::AddProductPortAndDriver(machine()); }
  winsim::Printer* Find(const std::u16string& name) { return machine().spooler.FindPrinter(name); }
};

TEST_F(PrinterQueueTest, GetPrinterInfo2FetchesTheRecordOrNothing) {
  AddPrinter(machine(), u"Plain", u"LPT1:", u"Plain driver").comment = u"hall";
  HANDLE printer = nullptr;
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(TEXT("Plain")), &printer, nullptr));
  PrinterInformation information{nullptr, kPoisonError};
  GetPrinterInfo2(printer, information);
  ASSERT_NE(information.Buffer, nullptr);
  EXPECT_GT(information.Needed, sizeof(PRINTER_INFO_2W));
  EXPECT_EQ(Utf8(information.Buffer->pComment), "hall");
  GlobalFree(information.Buffer);
  ClosePrinter(printer);

  SetLastError(kPoisonError);
  GetPrinterInfo2(printer, information);  // closed by now
  EXPECT_EQ(information.Buffer, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(PrinterQueueTest, DeleteOnePrinterPurgesAndDeletesOrReportsWhy) {
  struct Case {
    const char* what;
    LPCWSTR name;
    DWORD grantable;  // rights OpenPrinterW may grant
    bool deletionRefused;
    bool gone;    // "Queue" no longer exists
    bool purged;  // its job was dropped
    Lines lines;
  };
  const Case cases[] = {
      {"deleted", TEXT("Queue"), PRINTER_ALL_ACCESS, false, true, true, {">DeletePrinter(Queue)", "  OK"}},
      {"unknown name",
       TEXT("Nowhere"),
       PRINTER_ALL_ACCESS,
       false,
       false,
       false,
       {">DeletePrinter(Nowhere)", "  Error(16): Can`t open printer 'Nowhere' - (The printer name is invalid.)"}},
      // No name would open the print server.
      {"no name",
       nullptr,
       PRINTER_ALL_ACCESS,
       false,
       false,
       false,
       {">DeletePrinter(*)", "  Error(16): Can`t open printer '*' - (The printer name is invalid.)"}},
      {"no delete right",
       TEXT("Queue"),
       PRINTER_ALL_ACCESS & ~DWORD{DELETE},
       false,
       false,
       false,
       {">DeletePrinter(Queue)", "  Error(16): Can`t open printer 'Queue' - (Access is denied.)"}},
      {"deletion refused",
       TEXT("Queue"),
       PRINTER_ALL_ACCESS,
       true,
       false,
       true,
       {">DeletePrinter(Queue)", "  Error(17): Can`t delete printer 'Queue' - (Access is denied.)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FreeContext(context);
    context = InstallContext{};
    winsim::SetCurrent(winsim::presets::ProductMachine());
    AddPrinter(machine(), u"Queue", u"LPT1:", u"Plain driver").jobs.push_back(winsim::PrintJob{1, u"letter"});
    machine().spooler.grantableAccess = c.grantable;
    if (c.deletionRefused) machine().FailNext("DeletePrinter", ERROR_ACCESS_DENIED);
    SetLastError(kPoisonError);

    DeleteOnePrinter(context, c.name);
    EXPECT_EQ(LogLines(context), c.lines);
    EXPECT_EQ(context.ErrorCount, c.gone ? 0 : 1);
    EXPECT_EQ(context.LogDepth, 0);
    const winsim::Printer* queue = Find(u"Queue");
    EXPECT_EQ(queue == nullptr, c.gone);
    EXPECT_EQ(queue == nullptr || queue->jobs.empty(), c.purged);
  }
}

TEST_F(PrinterQueueTest, AddProductPrinterCreatesTheQueueOnTheProductPort) {
  context.LogDepth = 1;
  HANDLE printer = AddProductPrinter(context, TEXT("Ravelquill"));
  ASSERT_NE(printer, nullptr);
  ClosePrinter(printer);
  EXPECT_EQ(LogLines(context), (Lines{"  >AddPrinter(Ravelquill)", "    Let's check our port monitors",
                                      "    Port monitor is found", "    OK :)"}));
  EXPECT_EQ(context.LogDepth, 1);
  const winsim::Printer* created = Find(u"Ravelquill");
  ASSERT_NE(created, nullptr);
  EXPECT_EQ(created->port, u"Ravelquill:");
  EXPECT_EQ(created->driver, u"Ravelquill printer");
  EXPECT_EQ(created->printProcessor, u"WinPrint");
  EXPECT_EQ(created->comment, u"");
  EXPECT_EQ(created->datatype, u"RAW");  // no data type: winprint's default
}

// The monitor check only informs the log; the spooler's refusal is error 15.
TEST_F(PrinterQueueTest, AddProductPrinterReportsWhatTheSpoolerRefuses) {
  const std::string header = ">AddPrinter(Ravelquill)";
  const Lines found = {"  Let's check our port monitors", "  Port monitor is found"};
  const Lines notFound = {"  Let's check our port monitors", "  No Ravelquill port monitor was found.",
                          "  ------- 1 existing monitors ----------", "  1. Local Port",
                          "  ---------------------------------------"};
  const Lines noMonitors = {"  Let's check our port monitors", "  1. EnumMonitors returns true",
                            "  No Ravelquill port monitor was found.",
                            "  BTW, there is no port monitors on this system."};
  struct Case {
    const char* what;
    bool monitor, driver, monitorsListed, existing;
    LPCWSTR name;
    Lines check;
    std::string error;
  };
  const Case cases[] = {
      {"no product monitor", false, true, true, false, TEXT("Ravelquill"), notFound,
       "  Error(15): Can`t add printer 'Ravelquill' - (The specified port is unknown.)"},
      {"no monitors at all", false, true, false, false, TEXT("Ravelquill"), noMonitors,
       "  Error(15): Can`t add printer 'Ravelquill' - (The specified port is unknown.)"},
      {"no driver", true, false, true, false, TEXT("Ravelquill"), found,
       "  Error(15): Can`t add printer 'Ravelquill' - (The printer driver is unknown.)"},
      {"name taken", true, true, true, true, TEXT("Ravelquill"), found,
       "  Error(15): Can`t add printer 'Ravelquill' - (The printer already exists.)"},
      {"no name", true, true, true, false, nullptr, found,
       "  Error(15): Can`t add printer '*' - (The printer name is invalid.)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FreeContext(context);
    context = InstallContext{};
    winsim::SetCurrent(winsim::presets::ProductMachine());
    if (c.monitor || c.driver) winsim::presets::AddProductPortAndDriver(machine());
    auto& spooler = machine().spooler;
    if (!c.monitor) spooler.monitors.erase(spooler.monitors.begin() + 1);
    if (!c.driver) spooler.drivers.pop_back();
    if (!c.monitorsListed) spooler.monitors.clear();
    if (c.existing) AddPrinter(machine(), u"Ravelquill", u"LPT1:", u"Plain driver");
    const std::size_t printers = spooler.printers.size();
    SetLastError(kPoisonError);

    EXPECT_EQ(AddProductPrinter(context, c.name), nullptr);
    Lines expected = {c.name != nullptr ? header : ">AddPrinter(*)"};
    expected.insert(expected.end(), c.check.begin(), c.check.end());
    expected.push_back(c.error);
    EXPECT_EQ(LogLines(context), expected);
    EXPECT_EQ(context.ErrorCount, 1);
    EXPECT_EQ(context.LogDepth, 0);
    EXPECT_EQ(spooler.printers.size(), printers);
  }
}

}  // namespace
