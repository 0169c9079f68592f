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

const std::u16string kStore = u"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\";

class StatusProbesTest : public MachineTest {
 protected:
  // A product printer whose driver file carries `build` (none: no version).
  void ProductPrinter(const std::u16string& name, std::optional<WORD> build = 2446, bool isDefault = false) {
    winsim::presets::AddPrinter(machine(), name, u"Ravelquill:", winsim::presets::kProductDriverName, isDefault);
    auto& version = machine().files.Find(winsim::presets::AddProductDriver(machine()).driverPath)->version;
    version.reset();
    if (build) version = winsim::FileVersion{7, 0, 0, *build};
  }
  // `path` exists and waits in the pending list for deletion (or a rename to `target`).
  void Pending(const std::u16string& path, const std::u16string& target = u"") {
    machine().files.Put(path, {1, 2, 3});
    machine().registry.SetMultiString(winsim::kSessionManagerKey, winsim::kPendingRenamesValue,
                                      {u"\\??\\" + path, target});
  }
};

TEST_F(StatusProbesTest, ProbesAnswerThroughTheExitCode) {
  const std::u16string driverFile = kStore + u"vexdrv64.dll";
  const struct {
    const char16_t* word;
    const char* what;
    std::function<void()> arrange;
    int code;
    int stops = 0;                                          // spooler restarts
    const char* defaultPrinter = "Microsoft Print to PDF";  // afterwards
  } cases[] = {
      {u"onInit", "another default printer", [] {}, ExitDefaultPrinter},
      {u"ONINIT", "a product printer is the default", [&] { ProductPrinter(u"Q", 2446, true); }, ExitNothingToReport, 0,
       "Q"},
      {u"onInit", "the default printer cannot be examined",
       [&] { ProductPrinter(u"Q", 2446, true), machine().FailNext("GetPrinterW", ERROR_NOT_ENOUGH_MEMORY); },
       ExitDefaultPrinter, 0, "Q"},
      {u"onInit", "a product file stays pending after a restart",
       [&] { Pending(driverFile), winsim::LockFile(machine(), driverFile); }, ExitFilesPending, 2},
      {u"onInit", "a product file, in capitals, held by the spooler",
       [&] {
         Pending(kStore + u"VEXUI64.DLL");
         winsim::LockFile(machine(), kStore + u"VEXUI64.DLL", ERROR_SHARING_VIOLATION, true);
       },
       ExitDefaultPrinter, 1},
      {u"onInit", "a product name only as a rename target", [&] { Pending(kStore + u"new.tmp", driverFile); },
       ExitDefaultPrinter},
      {u"onChkDrv", "build 2416", [&] { ProductPrinter(u"Q", 2416); }, ExitDriverCurrent},
      {u"OnChkDrv", "build 2415", [&] { ProductPrinter(u"Q", 2415); }, ExitNothingToReport},
      {u"onChkDrv", "the driver information cannot be fetched",
       [&] { ProductPrinter(u"Q"), machine().FailNext("GetPrinterDriverW", ERROR_NOT_ENOUGH_MEMORY); },
       ExitNothingToReport},
      {u"def.set", "the first product printer",
       [&] {
         winsim::presets::AddPrinter(machine(), u"Look-alike", u"Ravelquill:", u"Ravelquill printer 2");
         ProductPrinter(u"Q"), ProductPrinter(u"R");
       },
       ExitDefaultSet, 0, "Q"},
      // SetDefaultPrinterW takes no name as "any printer" when there is no
      // default, so a nameless record must not reach it.
      {u"def.set", "a nameless product printer", [&] { machine().spooler.defaultPrinter.reset(), ProductPrinter(u""); },
       ExitDefaultSet, 0, "(none)"},
      {u"DEF.SET", "def.set in another case", [&] { ProductPrinter(u"Q"); }, ExitNoCommand},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    NextMachine();
    winsim::presets::AddProductPortAndDriver(machine());
    c.arrange();
    EXPECT_EQ(Run(c.word), c.code);
    EXPECT_EQ(machine().services.spooler.stopsAccepted, c.stops);
    EXPECT_EQ(winsim::Narrow(machine().spooler.defaultPrinter.value_or(u"(none)")), c.defaultPrinter);
  }
}

}  // namespace
