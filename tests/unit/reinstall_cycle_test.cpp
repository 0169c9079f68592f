// A reinstall composed from the spooler-object operations, in the order the
// install command runs them, on a machine a support engineer would know:
// three product printers (two with settings names, one of them the
// default) and a foreign one, an older monitor to replace.
#include <string>

#include <winsim_presets/monitor.h>
#include <winsim_presets/queues.h>

#include "spooler/port_monitor.h"
#include "spooler/printer_driver.h"
#include "spooler/printer_settings.h"
#include "test_support.h"

namespace {

using winsim::presets::AddPrinter;
using winsim::presets::SettingsNameOf;

// The removal half, then the install half; the tray and file steps are not
// part of it.
void ReinstallSpoolerObjects(InstallContext& context) {
  context.CheckMonitorVersion = 1;
  MonitorEnumeration monitors{};
  EnumMonitorsAll(context, monitors);
  DriverEnumeration drivers{};
  EnumPrinterDriversAll(drivers, context.Environment);
  DeleteAllPrinters(context);
  RemovePrinterDriver(context, drivers);
  RemovePortMonitor(context, monitors);
  if (monitors.Buffer != nullptr) GlobalFree(monitors.Buffer);
  if (drivers.Buffer != nullptr) GlobalFree(drivers.Buffer);
  if (context.InstallMonitor) InstallPortMonitor(context);
  InstallPrinterDriver(context);
  RestorePrinterSettings(context);
}

class ReinstallCycleTest : public MachineTest {
 protected:
  ReinstallCycleTest() {
    winsim::presets::AddProductPortAndDriver(machine());
    winsim::presets::PutMonitorModule(machine(), 2415);  // older than the compatible builds: replaced
  }
  winsim::Printer& Product(const std::u16string& name, const char* settings, bool isDefault = false) {
    winsim::Printer& printer = AddPrinter(machine(), name, u"Ravelquill:", u"Ravelquill printer", isDefault);
    printer.comment = name + u" comment";
    printer.location = name + u" location";
    if (settings != nullptr) winsim::presets::PutSettingsName(printer, u"PrinterDriverData", settings);
    return printer;
  }
  // Runs the cycle in a context of its own; the error count it left.
  LONG Reinstall() {
    InstallContext context;
    InitContext(context, InitFlagX64);
    ReinstallSpoolerObjects(context);
    const LONG errors = context.ErrorCount;
    FreeContext(context);
    return errors;
  }
};

TEST_F(ReinstallCycleTest, SavedPrintersComeBackAndTheRestIsLeftAsItWas) {
  Product(u"Office A", "settingsA");
  Product(u"Office B", "settingsB", true);
  Product(u"Office C", nullptr);  // no settings name: not re-created
  winsim::Printer& foreign = AddPrinter(machine(), u"Foreign", u"LPT1:", u"Microsoft Print To PDF");
  foreign.comment = u"untouched";
  machine().registry.SetDword(winsim::presets::SettingsKey("settingsA"), u"deleted", 1);

  EXPECT_EQ(Reinstall(), 0);
  for (const char16_t* name : {u"Office A", u"Office B"}) {
    const winsim::Printer* printer = machine().spooler.FindPrinter(name);
    ASSERT_NE(printer, nullptr) << winsim::Narrow(name);
    EXPECT_EQ(printer->port, u"Ravelquill:");
    EXPECT_EQ(printer->comment, std::u16string(name) + u" comment");
    EXPECT_EQ(printer->location, std::u16string(name) + u" location");
  }
  EXPECT_EQ(SettingsNameOf(*machine().spooler.FindPrinter(u"Office A"), u"DsUser"), "settingsA");
  EXPECT_EQ(SettingsNameOf(*machine().spooler.FindPrinter(u"Office B"), u"DsUser"), "settingsB");
  EXPECT_EQ(machine().spooler.defaultPrinter, u"Office B");
  EXPECT_EQ(machine().spooler.FindPrinter(u"Office C"), nullptr);
  EXPECT_EQ(machine().spooler.FindPrinter(u"Foreign")->comment, u"untouched");
  EXPECT_EQ(machine().registry.FindValue(winsim::presets::SettingsKey("settingsA"), u"deleted"), nullptr);
  // The monitor was replaced by the installer's own build, the driver registered again.
  EXPECT_EQ(machine().files.Find(winsim::presets::SystemPath(machine()))->version->revision, 2446);
  EXPECT_NE(machine().spooler.FindMonitor(u"Ravelquill:", u"Windows x64"), nullptr);
  EXPECT_NE(machine().spooler.FindDriver(u"Ravelquill printer", u"Windows x64"), nullptr);
  EXPECT_TRUE(winsim::SpoolerRunning(machine()));

  // A second cycle finds what the first left and leaves the same.
  EXPECT_EQ(Reinstall(), 0);
  EXPECT_NE(machine().spooler.FindPrinter(u"Office A"), nullptr);
  EXPECT_EQ(machine().spooler.defaultPrinter, u"Office B");
}

}  // namespace
