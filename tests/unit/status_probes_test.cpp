// The probes "onInit" and "onChkDrv" and the command "def.set", run through
// WinMain: their answer is the exit code alone.
#include <functional>
#include <optional>
#include <string>

#include <winsim_presets/driver.h>
#include <winsim_presets/queues.h>

#include "shell/exit_codes.h"
#include "test_support.h"

namespace {

using winsim::presets::AddPrinter;

const std::u16string kStore = u"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\";
const std::u16string kPdf = u"Microsoft Print to PDF";

class StatusProbesTest : public MachineTest {
 protected:
  StatusProbesTest() { winsim::presets::AddProductPortAndDriver(machine()); }
  // A product printer whose driver file carries `build` (none: no version).
  void ProductPrinter(const std::u16string& name, std::optional<WORD> build = 2446, bool isDefault = false) {
    AddPrinter(machine(), name, u"Ravelquill:", winsim::presets::kProductDriverName, isDefault);
    auto& version = machine().files.Find(winsim::presets::AddProductDriver(machine()).driverPath)->version;
    version.reset();
    if (build) version = winsim::FileVersion{7, 0, 0, *build};
  }
  void Pending(const std::vector<std::u16string>& strings) {
    machine().registry.SetMultiString(winsim::kSessionManagerKey, winsim::kPendingRenamesValue, strings);
  }
  std::u16string File(const std::u16string& path) {
    machine().files.Put(path, {1, 2, 3});
    return path;
  }
  bool Exists(const std::u16string& path) { return machine().files.Find(path) != nullptr; }
  int Stops() { return machine().services.spooler.stopsAccepted; }
  std::string Default() { return winsim::Narrow(machine().spooler.defaultPrinter.value_or(u"(none)")); }
};

TEST_F(StatusProbesTest, CommandWordsAnswerWithTheirOwnCodes) {
  ProductPrinter(u"Ravelquill", 2446, true);
  const std::pair<std::u16string, int> cases[] = {
      {u"onInit", ExitNothingToReport},  {u"ONINIT", ExitNothingToReport}, {u"onChkDrv", ExitDriverOutdated},
      {u"OnChkDrv", ExitDriverOutdated}, {u"def.set", ExitDefaultSet},     {u"DEF.SET", ExitNoCommand},
      {u"def.setx", ExitNoCommand},      {u"def.set 12", ExitDefaultSet},
  };
  for (const auto& [word, code] : cases) EXPECT_EQ(Run(word), code) << winsim::Narrow(word);
  EXPECT_EQ(Stops(), 0);
}

TEST_F(StatusProbesTest, OnInitReportsPendingProductFilesOrTheDefaultPrinter) {
  const std::u16string driverFile = kStore + u"vexdrv64.dll", uiFile = kStore + u"VEXUI64.DLL";
  struct Case {
    const char* what;
    std::function<void()> arrange;
    int code;
    int stops;
    std::u16string gone = {};  // a file the probe deleted
  };
  const Case cases[] = {
      {"nothing pending, another default printer", [] {}, ExitDefaultPrinter, 0},
      {"no default printer", [&] { machine().spooler.defaultPrinter.reset(); }, ExitDefaultPrinter, 0},
      {"a product printer is the default", [&] { ProductPrinter(u"Ravelquill", 2446, true); }, ExitNothingToReport, 0},
      {"the default printer cannot be examined",
       [&] {
         ProductPrinter(u"Ravelquill", 2446, true);
         machine().FailNext("GetPrinterW", ERROR_NOT_ENOUGH_MEMORY);
       },
       ExitDefaultPrinter, 0},
      {"the default printer's driver only resembles the product's",
       [&] { AddPrinter(machine(), u"Look-alike", u"Ravelquill:", u"Ravelquill printer 2", true); }, ExitDefaultPrinter,
       0},
      {"a product file stays pending after a restart",
       [&] {
         ProductPrinter(u"Ravelquill", 2446, true);
         winsim::LockFile(machine(), File(driverFile));
         Pending({u"\\??\\" + driverFile, u""});
       },
       ExitFilesPending, 2},
      {"a product file, in capitals, that the spooler held",
       [&] {
         ProductPrinter(u"Ravelquill", 2446, true);
         winsim::LockFile(machine(), File(uiFile), ERROR_SHARING_VIOLATION, true);
         Pending({u"\\??\\" + uiFile, u""});
       },
       ExitNothingToReport, 1, uiFile},
      {"a product file that can be deleted now",
       [&] {
         Pending({u"\\??\\" + File(driverFile), u""});
       },
       ExitDefaultPrinter, 0, driverFile},
      {"only targets and 32-bit names are the product's",
       [&] {
         winsim::LockFile(machine(), File(kStore + u"vexdrv.dll"));
         Pending(
             {u"\\??\\" + File(kStore + u"new.tmp"), u"\\??\\" + driverFile, u"\\??\\" + kStore + u"vexdrv.dll", u""});
       },
       ExitDefaultPrinter, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    winsim::SetCurrent(winsim::presets::ProductMachine());
    winsim::presets::AddProductPortAndDriver(machine());
    c.arrange();
    EXPECT_EQ(Run(u"onInit"), c.code);
    EXPECT_EQ(Stops(), c.stops);
    EXPECT_EQ(machine().services.spooler.state, DWORD{SERVICE_RUNNING});
    if (!c.gone.empty()) {
      EXPECT_FALSE(Exists(c.gone));
    }
  }
  // A pending rename is left for Windows.
  EXPECT_TRUE(Exists(kStore + u"new.tmp"));
}

TEST_F(StatusProbesTest, OnChkDrvReadsTheBuildOfTheFirstProductPrinter) {
  struct Case {
    const char* what;
    std::function<void()> arrange;
    int code;
  };
  const Case cases[] = {
      {"build 2416", [&] { ProductPrinter(u"Ravelquill", 2416); }, ExitDriverOutdated},
      {"build 2415", [&] { ProductPrinter(u"Ravelquill", 2415); }, ExitNothingToReport},
      {"no version resource", [&] { ProductPrinter(u"Ravelquill", std::nullopt); }, ExitNothingToReport},
      {"no product printer", [] {}, ExitNothingToReport},
      {"the printers cannot be enumerated",
       [&] {
         ProductPrinter(u"Ravelquill", 2446);
         machine().FailNext("EnumPrintersW", RPC_S_SERVER_UNAVAILABLE);
       },
       ExitNothingToReport},
      {"the driver information cannot be fetched",
       [&] {
         ProductPrinter(u"Ravelquill", 2446);
         machine().FailNext("GetPrinterDriverW", ERROR_NOT_ENOUGH_MEMORY);
       },
       ExitNothingToReport},
      {"the printer cannot be opened",
       [&] {
         ProductPrinter(u"Ravelquill", 2446);
         machine().FailNext("OpenPrinterW", ERROR_ACCESS_DENIED);
       },
       ExitNothingToReport},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    winsim::SetCurrent(winsim::presets::ProductMachine());
    winsim::presets::AddProductPortAndDriver(machine());
    c.arrange();
    EXPECT_EQ(Run(u"onChkDrv"), c.code);
  }
}

TEST_F(StatusProbesTest, DefSetMakesTheFirstProductPrinterTheDefault) {
  EXPECT_EQ(Run(u"def.set"), ExitDefaultSet);
  EXPECT_EQ(Default(), winsim::Narrow(kPdf));

  AddPrinter(machine(), u"Look-alike", u"Ravelquill:", u"Ravelquill printer 2");
  ProductPrinter(u"Ravelquill");
  ProductPrinter(u"Ravelquill (2)");
  machine().FailNext("EnumPrintersW", RPC_S_SERVER_UNAVAILABLE);
  EXPECT_EQ(Run(u"def.set"), ExitDefaultSet);
  EXPECT_EQ(Default(), winsim::Narrow(kPdf));

  EXPECT_EQ(Run(u"def.set"), ExitDefaultSet);
  EXPECT_EQ(Default(), "Ravelquill");
}

// SetDefaultPrinterW takes no name as "any printer" when none is the
// default, so a nameless record must not reach it.
TEST_F(StatusProbesTest, DefSetNeverPassesAnEmptyName) {
  machine().spooler.defaultPrinter.reset();
  ProductPrinter(u"");
  EXPECT_EQ(Run(u"def.set"), ExitDefaultSet);
  EXPECT_EQ(Default(), "(none)");
}

}  // namespace
