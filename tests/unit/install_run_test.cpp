// Whole install and uninstall runs through WinMain: the exit code, the log
// window and what the machine holds afterwards. What each operation writes
// is checked by the operation's own tests.
#include <string>

#include <winsim_presets/monitor.h>
#include <winsim_presets/queues.h>

#include "shell/resource.h"
#include "test_support.h"

namespace {

using winsim::presets::AddPrinter;
using winsim::presets::kTrayPath;
using winsim::presets::SystemPath;

const std::u16string kRunKey = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::u16string kDriverDir = u"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\";

// "a\nb\n" as the log holds it: "a\r\nb\r\n".
std::string Crlf(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

class InstallRunTest : public MachineTest {
 protected:
  // Whenever the spooler could be started, it must run after the run.
  int Run(const std::u16string& arguments) {
    const int code = MachineTest::Run(arguments);
    const winsim::Service& spooler = machine().services.spooler;
    if (!spooler.startNeverCompletes && spooler.openError == 0 && machine().services.managerOpenError == 0) {
      EXPECT_TRUE(winsim::SpoolerRunning(machine())) << "after \"" << Utf8(arguments.c_str()) << "\"";
    }
    return code;
  }
  // The log the last run showed (the user held Shift or an error was counted).
  std::string Shown() {
    return machine().desktop.dialogs.empty() ? "" : winsim::Narrow(LastDialog().items.at(IDC_LOG_TEXT));
  }
  const winsim::DialogRecord& LastDialog() { return machine().desktop.dialogs.back(); }
  bool Has(const std::string& lines) { return Shown().find(Crlf(lines)) != std::string::npos; }
  bool Exists(const std::u16string& path) { return machine().files.Find(path) != nullptr; }
  bool TrayRunning() {
    for (const auto& [id, process] : machine().processes) {
      if (process.running && winsim::SameFolded(process.image, kTrayPath)) return true;
    }
    return false;
  }
  const winsim::RegistryValue* RunValue() { return machine().registry.FindValue(kRunKey, u"RavelquillTray"); }
  const winsim::RegistryValue* PendingRenames() {
    return machine().registry.FindValue(winsim::kSessionManagerKey, winsim::kPendingRenamesValue);
  }
};

const char kFreshInstallLog[] = R"(Ravelquill 2446
>Check Spooler
PrinterDriverDirectory(1):C:\Windows\system32\spool\DRIVERS\x64
PrinterDriverDirectory(2):C:\Windows\system32\spool\DRIVERS\x64\
>>0010
>ReInstall
    >UnInstall
      EnumMonitors
      1 Monitors found.
      EnumPrinterDrivers for Windows x64
      1 drivers found
      >DeleteAllPrinters
      >DeletePrinterDriver for Windows x64
        ------------ 1 existing drivers-----------
        1. Microsoft Print To PDF
        -------------------------------------------
        No Ravelquill driver was found
      >DeleteMonitor
        ------- 1 existing monitors ----------
        1. Local Port
        ---------------------------------------
        No Ravelquill port monitor was found.
        Computing monitor filename
        Auto calculated monitor file name: C:\Windows\system32\vexmon64.dll
        Version is unknown, proceed with reinstall
        Can't delete monitor and monitor was not found. So everything should be ok
    >AddMonitor
      Copy monitor file
      >CopyFile vexmon64.dll to C:\Windows\system32\ [0])
        Copy Succeeded :)
      AddMonitor - OK :)
    >Add Printer Driver
      >CopyFile vexdrv64.dll to C:\Windows\system32\spool\DRIVERS\x64\ [1])
        Copy Succeeded :)
      >CopyFile vexui64.dll to C:\Windows\system32\spool\DRIVERS\x64\ [1])
        Copy Succeeded :)
      >CopyFile vexhelp.chm to C:\Windows\system32\spool\DRIVERS\x64\ [1])
        Copy Succeeded :)
      OK :)
    >AddPrinter(Ravelquill)
      Let's check our port monitors
      Port monitor is found
      OK :)
)";

TEST_F(InstallRunTest, FreshInstallThenUninstallTwice) {
  machine().desktop.shiftDown = true;  // Shift shows the log; the exit codes stay
  EXPECT_EQ(Run(u"in"), 1);
  EXPECT_EQ(Shown(), Crlf(kFreshInstallLog));
  EXPECT_EQ(winsim::Narrow(LastDialog().title), "Ravelquill build 2446- Install log.");
  EXPECT_EQ(machine().spooler.FindPrinter(u"Ravelquill")->port, u"Ravelquill:");
  EXPECT_TRUE(TrayRunning());

  EXPECT_EQ(Run(u"un"), 2);
  EXPECT_EQ(machine().spooler.FindMonitor(u"Ravelquill:", u"Windows x64"), nullptr);
  EXPECT_EQ(machine().spooler.FindDriver(u"Ravelquill printer", u"Windows x64"), nullptr);
  EXPECT_EQ(machine().spooler.FindPrinter(u"Ravelquill"), nullptr);
  EXPECT_FALSE(Exists(SystemPath(machine())));
  EXPECT_FALSE(Exists(kDriverDir + u"3\\vexdrv64.dll"));
  EXPECT_EQ(RunValue(), nullptr);
  EXPECT_FALSE(TrayRunning());
  EXPECT_EQ(machine().spooler.defaultPrinter, u"Microsoft Print to PDF");

  EXPECT_EQ(Run(u"uninstall"), 2);
  for (const auto& dialog : machine().desktop.dialogs) {
    EXPECT_EQ(winsim::Narrow(dialog.items.at(IDC_LOG_TEXT)).find(">>0020"), std::string::npos);
  }
}

// Printers with a settings name come back with their comment, location and
// default; the renamed one without a name does not, a foreign one is untouched.
TEST_F(InstallRunTest, ReinstallBringsBackNamedPrintersAndTheDefault) {
  ASSERT_EQ(Run(u"in"), 1);
  machine().spooler.printers.Rename(*machine().spooler.FindPrinter(u"Ravelquill"), u"Office C");
  for (const char* settings : {"A", "B"}) {
    const std::u16string name = u"Office " + winsim::Widen(settings);
    winsim::Printer& p = AddPrinter(machine(), name, u"Ravelquill:", u"Ravelquill printer", settings[0] == 'B');
    p.comment = name + u" comment";
    winsim::presets::PutSettingsName(p, u"PrinterDriverData", settings);
  }
  AddPrinter(machine(), u"Foreign", u"LPT1:", u"Microsoft Print To PDF").comment = u"untouched";

  EXPECT_EQ(Run(u"install"), 1);
  const winsim::Printer* b = machine().spooler.FindPrinter(u"Office B");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->comment, u"Office B comment");
  EXPECT_EQ(winsim::presets::SettingsNameOf(*b, u"DsUser"), "B");
  EXPECT_NE(machine().spooler.FindPrinter(u"Office A"), nullptr);
  EXPECT_EQ(machine().spooler.defaultPrinter, u"Office B");
  EXPECT_EQ(machine().spooler.FindPrinter(u"Foreign")->comment, u"untouched");
  EXPECT_EQ(machine().spooler.printers.size(), 4u);  // the PDF printer, Foreign, A, B
}

// The reinstall deletes the program the Run value names and registers it
// again; In_NoTray registers nothing. A clean run without Shift shows no log.
TEST_F(InstallRunTest, AReinstallDeletesTheTrayProgramItThenRegisters) {
  ASSERT_EQ(Run(u"in"), 1);
  EXPECT_EQ(Run(u"in"), 1);
  EXPECT_TRUE(machine().desktop.dialogs.empty());
  EXPECT_FALSE(Exists(kTrayPath));
  EXPECT_NE(RunValue(), nullptr);
  EXPECT_EQ(Run(u"In_NoTray"), 1);
  EXPECT_FALSE(TrayRunning());
  EXPECT_EQ(RunValue(), nullptr);
}

// A module the spooler holds goes once it stops; one locked even then is
// deleted at restart, with exit code 101.
TEST_F(InstallRunTest, AHeldModuleGoesWithTheSpoolerStoppedALockedOneAtRestart) {
  winsim::presets::AddProductMonitor(machine(), 2415);
  winsim::LockFile(machine(), SystemPath(machine()), ERROR_SHARING_VIOLATION, true);
  EXPECT_EQ(Run(u"un"), 2);
  EXPECT_FALSE(Exists(SystemPath(machine())));
  EXPECT_EQ(PendingRenames(), nullptr);

  NextMachine();
  winsim::presets::AddProductMonitor(machine());
  winsim::LockFile(machine(), SystemPath(machine()));
  EXPECT_EQ(Run(u"un"), 101);
  ASSERT_NE(PendingRenames(), nullptr);
  EXPECT_EQ(winsim::MultiStrings(PendingRenames()->data),
            (std::vector<std::u16string>{u"\\??\\" + SystemPath(machine()), u""}));
  winsim::Restart(machine());
  EXPECT_FALSE(Exists(SystemPath(machine())));
  EXPECT_EQ(Run(u"un"), 2);
}

TEST_F(InstallRunTest, ASpoolerThatCannotStartShowsTheErrorLog) {
  winsim::EnterServiceState(machine(), SERVICE_STOPPED);
  machine().services.spooler.startNeverCompletes = true;
  EXPECT_EQ(Run(u"in"), 100);
  ASSERT_EQ(machine().desktop.dialogs.size(), 1u);
  EXPECT_EQ(winsim::Narrow(LastDialog().title), "Ravelquill build 2446- Install error log!");
  EXPECT_TRUE(Has("  Error(4): Can't start the spooler\n"));
  winsim::Restart(machine());  // it hangs at boot as well
  EXPECT_EQ(Run(u"in"), 100);
}

}  // namespace
