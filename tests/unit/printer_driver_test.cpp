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

Lines Join(std::initializer_list<Lines> parts) {
  Lines all;
  for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

class PrinterDriverTest : public ContextTest {
 protected:
  PrinterDriverTest() { NewDriverRun(); }
  // A new machine, and a context with the install and driver directories.
  void NewDriverRun() {
    FreshRun();
    TextAssign(context.InstallDir, kBin.c_str());
    SelectEnvironment(context, true);  // the driver directory the spooler gives
    TextFree(context.LogText);
  }
  ~PrinterDriverTest() override { EXPECT_EQ(context.LogDepth, 0); }
  std::u16string store() { return TextString(context.DriverDir); }
  const winsim::Driver* productDriver() { return machine().spooler.FindDriver(kProductDriverName, u"Windows x64"); }

  // Each level is stepped by its own entry size, in the lookup and the list.
  template <typename Info>
  void ExpectLastEntryFoundAndListed(DWORD level) {
    AddProductDriver(machine());  // so the removal succeeds at once
    Info entries[4] = {};
    entries[0].pName = const_cast<LPWSTR>(u"ravelquill printer");
    entries[1].pName = const_cast<LPWSTR>(u"Ravelquill printer 2");
    entries[3].pName = const_cast<LPWSTR>(kProductDriverName);
    const DriverEnumeration drivers{reinterpret_cast<LPBYTE>(entries), level, 4};
    EXPECT_EQ(FindProductDriver(drivers), 3) << level;
    TextFree(context.LogText);
    RemovePrinterDriver(context, drivers);
    EXPECT_EQ(
        LogLines(context),
        (Lines{">DeletePrinterDriver for Windows x64", "  ------------ 4 existing drivers-----------",
               "  1. ravelquill printer", "  2. Ravelquill printer 2", "  3. ***EMPTY***", "  4. Ravelquill printer",
               "  -------------------------------------------", "  Driver is found. Index=4", "  OK :)"}))
        << level;
  }
};

TEST_F(PrinterDriverTest, LookupAndListStepByTheLevelsEntrySizeAndMatchTheWholeName) {
  ExpectLastEntryFoundAndListed<DRIVER_INFO_1W>(1);
  ExpectLastEntryFoundAndListed<DRIVER_INFO_2W>(2);
  ExpectLastEntryFoundAndListed<DRIVER_INFO_3W>(3);
  ExpectLastEntryFoundAndListed<DRIVER_INFO_4W>(4);
  ExpectLastEntryFoundAndListed<DRIVER_INFO_6W>(6);
  // A level without a known layout is never read.
  EXPECT_EQ(FindProductDriver(DriverEnumeration{reinterpret_cast<LPBYTE>(&context), 7, 1000}), -1);
}

// The product's driver listed second and deleted at once is in the
// uninstall run's log.
TEST_F(PrinterDriverTest, RemovalListsTheDriversAndDeletesTheProducts) {
  const Lines listed = {"  ------------ 2 existing drivers-----------",
                        "  1. Microsoft Print To PDF",
                        "  2. Ravelquill printer",
                        "  -------------------------------------------",
                        "  Driver is found. Index=2",
                        "  Can't delete driver. Trying to restart spooler",
                        "  >Restart Spooler"};
  const std::string inUse =
      "  Error(14): Can`t remove the printer-driver 'Ravelquill printer' - "
      "(The specified printer driver is currently in use.)";
  struct Case {
    const char* name;
    std::function<void(Machine&)> arrange;
    Lines lines;  // after the section line
    bool removed;
  };
  const Case cases[] = {
      {"no drivers",
       [](Machine& m) { m.spooler.drivers.clear(); },
       {"  BTW, there is no printer drivers on this system.", "  No Ravelquill driver was found"},
       true},
      {"refused once, deleted after the restart",
       [](Machine& m) {
         AddProductDriver(m);
         m.FailNext("DeletePrinterDriverExW", ERROR_PRINTER_DRIVER_IN_USE);
       },
       Join({listed, {"  OK :)"}}), true},
      {"used by a printer",
       [](Machine& m) { winsim::presets::AddPrinter(m, u"Ravelquill", u"Ravelquill:", kProductDriverName); },
       Join({listed, {inUse}}), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NewDriverRun();
    c.arrange(machine());
    DriverEnumeration drivers{};
    EnumPrinterDriversAll(drivers, context.Environment);
    RemovePrinterDriver(context, drivers);
    if (drivers.Buffer != nullptr) GlobalFree(drivers.Buffer);
    EXPECT_EQ(LogLines(context), Join({{">DeletePrinterDriver for Windows x64"}, c.lines}));
    EXPECT_EQ(context.ErrorCount, c.removed ? 0 : 1);
    EXPECT_EQ(productDriver() == nullptr && !machine().files.Find(store() + u"3\\vexdrv64.dll"), c.removed);
    EXPECT_EQ(machine().services.spooler.state, static_cast<DWORD>(SERVICE_RUNNING));
  }
}

TEST_F(PrinterDriverTest, InstallStagesRegistersAndDeletesTheStagedCopies) {
  const std::string noHelp =
      "    Error(10): Cant't open source file: vexhelp.chm - (The system cannot find the file specified.)";
  const std::string noUi =
      "    Error(10): Cant't open source file: vexui64.dll - (The system cannot find the file specified.)";
  const std::string refused = "  Error(13): Can`t install a printer driver 'Ravelquill printer' - (Access is denied.)";
  struct Case {
    const char* name;
    std::function<void(Machine&)> arrange;
    std::u16string missing;  // the module missing next to the installer, if any
    Lines lines;             // all but the copies' own lines
    bool held;               // the spooler still holds the staged copies
  };
  const Case cases[] = {
      {"all files", [](Machine&) {}, u"", {">Add Printer Driver", "  OK :)"}, false},
      {"help file missing", [](Machine&) {}, u"vexhelp.chm", {">Add Printer Driver", noHelp, "  OK :)"}, false},
      {"staged copies held",
       [](Machine& m) { m.spooler.stagedHoldMs = 1000; },
       u"",
       {">Add Printer Driver", "  OK :)"},
       true},
      {"registration refused",
       [](Machine& m) { m.FailNext("AddPrinterDriverExW", ERROR_ACCESS_DENIED); },
       u"",
       {">Add Printer Driver", refused},
       false},
      // Nothing is registered and the staged driver module stays.
      {"user interface missing", [](Machine&) {}, u"vexui64.dll", {">Add Printer Driver", noUi}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NewDriverRun();
    if (!c.missing.empty()) machine().files.files.erase(winsim::FoldCase(kBin + c.missing));
    c.arrange(machine());
    const HRESULT result = InstallPrinterDriver(context);
    Lines lines;
    for (const std::string& line : LogLines(context)) {
      if (line.find("Copy") == std::string::npos) lines.push_back(line);
    }
    EXPECT_EQ(lines, c.lines);

    const bool registered = c.lines.back() == "  OK :)";
    EXPECT_EQ(result, registered ? S_OK : E_FAIL);
    ASSERT_EQ(productDriver() != nullptr, registered);
    if (registered) {
      EXPECT_EQ(productDriver()->helpFile, c.missing.empty() ? store() + u"3\\vexhelp.chm" : u"");
      EXPECT_EQ(Utf8(productDriver()->oemUrl.c_str()), "https://ravelquill.example/");
    }
    const Lines held = {Utf8(store().c_str()) + "vexhelp.chm", Utf8(store().c_str()) + "vexui64.dll",
                        Utf8(store().c_str()) + "vexdrv64.dll"};
    EXPECT_EQ(Items(context.PendingDeletes), c.held ? held : Lines{});
    EXPECT_EQ(machine().files.Find(store() + u"vexdrv64.dll") != nullptr, c.held || c.missing == u"vexui64.dll");
  }
}

// A driver directory the run could not learn: nothing is staged, least of
// all in the current directory.
TEST_F(PrinterDriverTest, AnUnknownDriverDirectoryStagesNothing) {
  TextFree(context.DriverDir);
  EXPECT_EQ(InstallPrinterDriver(context), E_FAIL);
  EXPECT_EQ(LogLines(context), (Lines{">Add Printer Driver",
                                      "  Error(13): Can`t install a printer driver "
                                      "'Ravelquill printer' - (The system cannot find the "
                                      "path specified.)"}));
  EXPECT_EQ(machine().files.Find(machine().files.currentDirectory + u"\\vexdrv64.dll"), nullptr);
}

TEST_F(PrinterDriverTest, DriverInfoOfAnOpenPrinterOrNothing) {
  HANDLE printer = nullptr;
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"Microsoft Print to PDF"), &printer, nullptr));
  DRIVER_INFO_2W* info = GetPrinterDriverInfo(printer);
  EXPECT_EQ(Utf8(info != nullptr ? info->pName : nullptr), "Microsoft Print To PDF");
  GlobalFree(info);
  ClosePrinter(printer);
  EXPECT_EQ(GetPrinterDriverInfo(printer), nullptr);
}

}  // namespace
