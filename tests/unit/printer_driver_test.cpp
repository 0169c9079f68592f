#include "spooler/printer_driver.h"

#include <ostream>
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
  PrinterDriverTest() {
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

struct RemovalCase {
  const char* name;
  void (*arrange)(Machine&);
  Lines lines;  // after the section line
  bool removed;
};
void PrintTo(const RemovalCase& c, std::ostream* os) { *os << c.name; }

class DriverRemovalTest : public PrinterDriverTest, public ::testing::WithParamInterface<RemovalCase> {};

TEST_P(DriverRemovalTest, ListsTheDriversAndDeletesTheProducts) {
  GetParam().arrange(machine());
  DriverEnumeration drivers{};
  EnumPrinterDriversAll(drivers, context.Environment);
  RemovePrinterDriver(context, drivers);
  if (drivers.Buffer != nullptr) GlobalFree(drivers.Buffer);
  EXPECT_EQ(LogLines(context), Join({{">DeletePrinterDriver for Windows x64"}, GetParam().lines}));
  EXPECT_EQ(context.ErrorCount, GetParam().lines.back().rfind("  Error(", 0) == 0 ? 1 : 0);
  EXPECT_EQ(productDriver() == nullptr && !machine().files.Find(store() + u"3\\vexdrv64.dll"), GetParam().removed);
  EXPECT_EQ(machine().services.spooler.state, static_cast<DWORD>(SERVICE_RUNNING));
}

const Lines kListed = {"  ------------ 2 existing drivers-----------", "  1. Microsoft Print To PDF",
                       "  2. Ravelquill printer", "  -------------------------------------------",
                       "  Driver is found. Index=2"};
const Lines kRetried = {"  Can't delete driver. Trying to restart spooler", "  >Restart Spooler"};

const char kInUse[] =
    "  Error(14): Can`t remove the printer-driver 'Ravelquill printer' - "
    "(The specified printer driver is currently in use.)";

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, DriverRemovalTest, ::testing::Values(
    RemovalCase{"NoDrivers", [](Machine& m) { m.spooler.drivers.clear(); },
                {"  BTW, there is no printer drivers on this system.", "  No Ravelquill driver was found"}, true},
    RemovalCase{"ProductSecond", [](Machine& m) { AddProductDriver(m); }, Join({kListed, {"  OK :)"}}), true},
    RemovalCase{"RefusedOnceThenDeletedAfterTheRestart", [](Machine& m) {
                  AddProductDriver(m);
                  m.FailNext("DeletePrinterDriverExW", ERROR_PRINTER_DRIVER_IN_USE);
                }, Join({kListed, kRetried, {"  OK :)"}}), true},
    RemovalCase{"UsedByAPrinter", [](Machine& m) {
                  winsim::presets::AddPrinter(m, u"Ravelquill", u"Ravelquill:", kProductDriverName);
                }, Join({kListed, kRetried, {kInUse}}), false}),
    [](const ::testing::TestParamInfo<RemovalCase>& info) { return std::string(info.param.name); });
// clang-format on

struct InstallCase {
  const char* name;
  void (*arrange)(Machine&);
  const char* missing;  // the module missing next to the installer, if any
  Lines lines;          // all but the copies' own lines
  bool held;            // the spooler still holds the staged copies
};
void PrintTo(const InstallCase& c, std::ostream* os) { *os << c.name; }

class DriverInstallTest : public PrinterDriverTest, public ::testing::WithParamInterface<InstallCase> {};

TEST_P(DriverInstallTest, StagesRegistersAndDeletesTheStagedCopies) {
  const InstallCase& c = GetParam();
  const std::u16string missing = winsim::Widen(c.missing != nullptr ? c.missing : "");
  if (!missing.empty()) machine().files.files.erase(winsim::FoldCase(kBin + missing));
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
    EXPECT_EQ(productDriver()->helpFile, missing.empty() ? store() + u"3\\vexhelp.chm" : u"");
    EXPECT_EQ(Utf8(productDriver()->oemUrl.c_str()), "https://ravelquill.example/");
  }
  std::vector<std::u16string> pending;
  for (StringListNode* node = context.PendingDeletes; node != nullptr; node = node->Next) pending.push_back(node->Text);
  const std::vector<std::u16string> held = {store() + u"vexhelp.chm", store() + u"vexui64.dll",
                                            store() + u"vexdrv64.dll"};
  EXPECT_EQ(pending, c.held ? held : std::vector<std::u16string>{});
  EXPECT_EQ(machine().files.Find(store() + u"vexdrv64.dll") != nullptr, c.held || missing == u"vexui64.dll");
}

const char kNoHelp[] =
    "    Error(10): Cant't open source file: vexhelp.chm - (The system cannot find the file specified.)";
const char kNoUi[] =
    "    Error(10): Cant't open source file: vexui64.dll - (The system cannot find the file specified.)";
const char kRefused[] = "  Error(13): Can`t install a printer driver 'Ravelquill printer' - (Access is denied.)";

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, DriverInstallTest, ::testing::Values(
    InstallCase{"AllFiles", [](Machine&) {}, nullptr, {">Add Printer Driver", "  OK :)"}, false},
    InstallCase{"HelpFileMissing", [](Machine&) {}, "vexhelp.chm", {">Add Printer Driver", kNoHelp, "  OK :)"}, false},
    InstallCase{"StagedCopiesHeld", [](Machine& m) { m.spooler.stagedHoldMs = 1000; }, nullptr,
                {">Add Printer Driver", "  OK :)"}, true},
    InstallCase{"RegistrationRefused", [](Machine& m) { m.FailNext("AddPrinterDriverExW", ERROR_ACCESS_DENIED); },
                nullptr, {">Add Printer Driver", kRefused}, false},
    // Nothing is registered and the staged driver module stays.
    InstallCase{"UserInterfaceMissing", [](Machine&) {}, "vexui64.dll", {">Add Printer Driver", kNoUi}, false}),
    [](const ::testing::TestParamInfo<InstallCase>& info) { return std::string(info.param.name); });
// clang-format on

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
