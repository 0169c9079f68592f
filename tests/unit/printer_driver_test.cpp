#include "spooler/printer_driver.h"

#include <functional>
#include <string>
#include <vector>

#include <winsim_presets/driver.h>

#include "test_support.h"

namespace {

using Lines = std::vector<std::string>;
using winsim::Machine;
using winsim::presets::AddProductDriver;
using winsim::presets::kProductDriverName;
const std::u16string kBin = u"C:\\Program Files\\Ravelquill\\bin\\";

class PrinterDriverTest : public ContextTest {
 protected:
  PrinterDriverTest() { NewDriverRun(); }
  ~PrinterDriverTest() override { EXPECT_EQ(context.LogDepth, 0); }
  // A new machine, and a context with the install and driver directories.
  void NewDriverRun() {
    FreshRun();
    TextAssign(context.InstallDir, kBin.c_str());
    SelectEnvironment(context, true);
    TextFree(context.LogText);
  }
  std::u16string store() { return TextString(context.DriverDir); }
  const winsim::Driver* productDriver() { return machine().spooler.FindDriver(kProductDriverName, u"Windows x64"); }
  // Each level is stepped by its own entry size, in the lookup and the list;
  // only the whole name matches.
  template <typename Info>
  void ExpectLastEntryFoundAndListed(DWORD level) {
    AddProductDriver(machine());  // so the removal succeeds at once
    Info entries[4] = {};
    entries[0].pName = const_cast<LPWSTR>(u"ravelquill printer");
    entries[1].pName = const_cast<LPWSTR>(u"Ravelquill printer 2");
    entries[3].pName = const_cast<LPWSTR>(kProductDriverName);
    const DriverEnumeration drivers{GlobalCopy(entries), level, 4};
    EXPECT_EQ(FindProductDriver(drivers), 3) << level;
    TextFree(context.LogText);
    RemovePrinterDriver(context, drivers);
    const Lines lines = LogLines(context);
    EXPECT_EQ(
        Lines(lines.begin() + 2, lines.end() - 1),
        (Lines{"  1. ravelquill printer", "  2. Ravelquill printer 2", "  3. ***EMPTY***", "  4. Ravelquill printer",
               "  -------------------------------------------", "  Driver is found. Index=4"}))
        << level;
  }
};

TEST_F(PrinterDriverTest, LookupAndListStepByTheLevelsEntrySize) {
  ExpectLastEntryFoundAndListed<DRIVER_INFO_1W>(1);
  ExpectLastEntryFoundAndListed<DRIVER_INFO_6W>(6);
  // A level without a known layout is never read.
  const BYTE unread[8] = {};
  EXPECT_EQ(FindProductDriver(DriverEnumeration{GlobalCopy(unread), 7, 1000}), -1);
}

TEST_F(PrinterDriverTest, RemovalDeletesTheProductsDriverAfterOneRestart) {
  const std::string restart = "  >Restart Spooler";
  const struct {
    std::function<void(Machine&)> arrange;
    Lines tail;
  } cases[] = {
      {[](Machine& m) { m.spooler.drivers.clear(); },
       {"  BTW, there is no printer drivers on this system.", "  No Ravelquill driver was found"}},
      {[](Machine& m) {
         AddProductDriver(m);
         m.FailNext("DeletePrinterDriverExW", ERROR_PRINTER_DRIVER_IN_USE);
       },
       {restart, "  OK :)"}},
      // A list that cannot be fetched says nothing of the driver, which stays.
      {[](Machine& m) {
         AddProductDriver(m);
         m.FailNext("EnumPrinterDriversW", ERROR_ACCESS_DENIED);
       },
       {">DeletePrinterDriver for Windows x64",
        "  Error(14): Can`t remove the printer-driver 'Ravelquill printer' - (Access is denied.)"}},
      {[](Machine& m) { winsim::presets::AddPrinter(m, u"Ravelquill", u"Ravelquill:", kProductDriverName); },
       {restart,
        "  Error(14): Can`t remove the printer-driver 'Ravelquill printer' - (The specified printer driver "
        "is currently in use.)"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tail[0]);
    NewDriverRun();
    c.arrange(machine());
    DriverEnumeration drivers{};
    EnumPrinterDriversAll(drivers, context.Environment);
    RemovePrinterDriver(context, drivers);
    const Lines lines = LogLines(context);
    EXPECT_EQ(Lines(lines.end() - 2, lines.end()), c.tail);
    const bool removed = context.ErrorCount == 0;
    EXPECT_EQ(removed, c.tail[1].find("Error") == std::string::npos);
    EXPECT_EQ(productDriver() == nullptr && !machine().files.Find(store() + u"3\\vexdrv64.dll"), removed);
  }
}

TEST_F(PrinterDriverTest, InstallStagesRegistersAndDeletesTheStagedCopies) {
  const std::string missing = "    Error(10): Cant't open source file: ";
  const struct {
    std::u16string missing;  // the module missing next to the installer, if any
    DWORD stagedHoldMs;      // the spooler holds the staged copies this long
    std::string error;
  } cases[] = {
      {u"vexhelp.chm", 0, missing + "vexhelp.chm - (The system cannot find the file specified.)"},
      {u"", 1000, ""},
      // Nothing is registered and the staged driver module stays.
      {u"vexui64.dll", 0, missing + "vexui64.dll - (The system cannot find the file specified.)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    NewDriverRun();
    if (!c.missing.empty()) machine().files.files.erase(winsim::FoldCase(kBin + c.missing));
    machine().spooler.stagedHoldMs = c.stagedHoldMs;
    const bool registered = c.missing != u"vexui64.dll";
    EXPECT_EQ(InstallPrinterDriver(context), registered ? S_OK : E_FAIL);
    const Lines lines = LogLines(context);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), c.error), c.error.empty() ? 0 : 1);
    ASSERT_EQ(productDriver() != nullptr, registered);
    if (registered) {
      EXPECT_EQ(productDriver()->helpFile, c.missing.empty() ? store() + u"3\\vexhelp.chm" : u"");
    }
    const std::string dir = Utf8(store().c_str());
    const Lines held = {dir + "vexhelp.chm", dir + "vexui64.dll", dir + "vexdrv64.dll"};
    EXPECT_EQ(Items(context.PendingDeletes), c.stagedHoldMs ? held : Lines{});
    EXPECT_EQ(machine().files.Find(store() + u"vexdrv64.dll") != nullptr, c.stagedHoldMs || !registered);
  }
}

// A driver directory the run could not learn: nothing is staged, least of
// all in the current directory.
TEST_F(PrinterDriverTest, AnUnknownDriverDirectoryStagesNothing) {
  TextFree(context.DriverDir);
  EXPECT_EQ(InstallPrinterDriver(context), E_FAIL);
  EXPECT_EQ(LogLines(context).back(),
            "  Error(13): Can`t install a printer driver 'Ravelquill printer' - (The system cannot find the path "
            "specified.)");
  EXPECT_EQ(machine().files.Find(machine().files.currentDirectory + u"\\vexdrv64.dll"), nullptr);
}

}  // namespace
