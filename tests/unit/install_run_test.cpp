// Whole install and uninstall runs through WinMain, on machines a support
// engineer would recognise: the exit code, the log as the window shows it,
// and what the machine holds afterwards.
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
  // Runs one command; whenever the spooler could be started, it must run
  // afterwards, however the run went.
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
  bool Has(const std::string& line) { return Shown().find(Crlf(line + "\n")) != std::string::npos; }
  bool Exists(const std::u16string& path) { return machine().files.Find(path) != nullptr; }
  bool TrayRunning() {
    for (const auto& [id, process] : machine().processes) {
      if (process.running && winsim::SameFolded(process.image, kTrayPath)) return true;
    }
    return false;
  }
  const winsim::RegistryValue* RunValue() { return machine().registry.FindValue(kRunKey, u"RavelquillTray"); }
  int MonitorBuild() { return machine().files.Find(SystemPath(machine()))->version->revision; }
  winsim::Printer& Product(const std::u16string& name, const char* settings, bool isDefault = false) {
    winsim::Printer& printer = AddPrinter(machine(), name, u"Ravelquill:", u"Ravelquill printer", isDefault);
    printer.comment = name + u" comment";
    printer.location = name + u" location";
    if (settings != nullptr) winsim::presets::PutSettingsName(printer, u"PrinterDriverData", settings);
    return printer;
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

const char kUninstallLog[] = R"(Ravelquill 2446
>Check Spooler
PrinterDriverDirectory(1):C:\Windows\system32\spool\DRIVERS\x64
PrinterDriverDirectory(2):C:\Windows\system32\spool\DRIVERS\x64\
>UnInstall
  EnumMonitors
  2 Monitors found.
  EnumPrinterDrivers for Windows x64
  2 drivers found
  >DeleteAllPrinters
    >DeletePrinter(Ravelquill)
      OK
  >DeletePrinterDriver for Windows x64
    ------------ 2 existing drivers-----------
    1. Microsoft Print To PDF
    2. Ravelquill printer
    -------------------------------------------
    Driver is found. Index=2
    OK :)
  >DeleteMonitor
    ------- 2 existing monitors ----------
    1. Local Port
    2. Ravelquill:
    ---------------------------------------
    Port monitor is found. Index=2
    Trying to get monitor filename from MONITOR_INFO_2
    Auto calculated monitor file name: C:\Windows\system32\vexmon64.dll
    There is no check for monitor version
    Monitor was removed :)
)";

TEST_F(InstallRunTest, FreshInstallThenUninstallLeavesNothingOfTheProduct) {
  machine().desktop.shiftDown = true;  // to see the logs; the exit codes stay
  EXPECT_EQ(Run(u"in"), 1);
  EXPECT_EQ(Shown(), Crlf(kFreshInstallLog));
  EXPECT_EQ(winsim::Narrow(LastDialog().title), "Ravelquill build 2446- Install log.");
  EXPECT_NE(machine().spooler.FindMonitor(u"Ravelquill:", u"Windows x64"), nullptr);
  EXPECT_NE(machine().spooler.FindDriver(u"Ravelquill printer", u"Windows x64"), nullptr);
  ASSERT_NE(machine().spooler.FindPrinter(u"Ravelquill"), nullptr);
  EXPECT_EQ(machine().spooler.FindPrinter(u"Ravelquill")->port, u"Ravelquill:");
  ASSERT_NE(RunValue(), nullptr);
  EXPECT_TRUE(TrayRunning());

  EXPECT_EQ(Run(u"un"), 2);
  EXPECT_EQ(Shown(), Crlf(kUninstallLog));
  EXPECT_EQ(winsim::Narrow(LastDialog().title), "Ravelquill build 2446- Install log.");
  EXPECT_EQ(machine().spooler.FindMonitor(u"Ravelquill:", u"Windows x64"), nullptr);
  EXPECT_EQ(machine().spooler.FindDriver(u"Ravelquill printer", u"Windows x64"), nullptr);
  EXPECT_EQ(machine().spooler.FindPrinter(u"Ravelquill"), nullptr);
  EXPECT_FALSE(Exists(SystemPath(machine())));
  for (const char16_t* file : {u"vexdrv64.dll", u"vexui64.dll", u"vexhelp.chm"}) {
    EXPECT_FALSE(Exists(kDriverDir + file)) << Utf8(file);
    EXPECT_FALSE(Exists(kDriverDir + u"3\\" + file)) << Utf8(file);
  }
  EXPECT_EQ(RunValue(), nullptr);
  EXPECT_FALSE(TrayRunning());
  EXPECT_EQ(machine().spooler.defaultPrinter, u"Microsoft Print to PDF");

  EXPECT_EQ(Run(u"uninstall"), 2);
  EXPECT_TRUE(Has("  No Ravelquill driver was found"));
  EXPECT_TRUE(Has("    No Ravelquill port monitor was found."));
  for (const auto& dialog : machine().desktop.dialogs) {
    EXPECT_EQ(winsim::Narrow(dialog.items.at(IDC_LOG_TEXT)).find(">>0020"), std::string::npos);
  }
}

TEST_F(InstallRunTest, ReinstallBringsBackNamedPrintersAndTheDefault) {
  ASSERT_EQ(Run(u"in"), 1);
  // The printer the install made, renamed by the user; no settings name: not re-created.
  machine().spooler.FindPrinter(u"Ravelquill")->name = u"Office C";
  Product(u"Office A", "settingsA");
  Product(u"Office B", "settingsB", true);
  winsim::Printer& foreign = AddPrinter(machine(), u"Foreign", u"LPT1:", u"Microsoft Print To PDF");
  foreign.comment = u"untouched";

  EXPECT_EQ(Run(u"install"), 1);
  for (const char16_t* name : {u"Office A", u"Office B"}) {
    const winsim::Printer* printer = machine().spooler.FindPrinter(name);
    ASSERT_NE(printer, nullptr) << Utf8(name);
    EXPECT_EQ(printer->port, u"Ravelquill:");
    EXPECT_EQ(printer->comment, std::u16string(name) + u" comment");
    EXPECT_EQ(printer->location, std::u16string(name) + u" location");
  }
  EXPECT_EQ(winsim::presets::SettingsNameOf(*machine().spooler.FindPrinter(u"Office A"), u"DsUser"), "settingsA");
  EXPECT_EQ(winsim::presets::SettingsNameOf(*machine().spooler.FindPrinter(u"Office B"), u"DsUser"), "settingsB");
  EXPECT_EQ(machine().spooler.defaultPrinter, u"Office B");
  EXPECT_EQ(machine().spooler.FindPrinter(u"Office C"), nullptr);
  EXPECT_EQ(machine().spooler.FindPrinter(u"Ravelquill"), nullptr);
  EXPECT_EQ(machine().spooler.FindPrinter(u"Foreign")->comment, u"untouched");
  EXPECT_EQ(machine().spooler.printers.size(), 4u);  // the PDF printer, Foreign, A, B
}

// UnInstall deletes the program the Run value names, and the reinstall
// then registers that very path: the Run value stays, the program is gone.
// Without the tray nothing is registered.
TEST_F(InstallRunTest, AReinstallDeletesTheTrayProgramItThenRegisters) {
  ASSERT_EQ(Run(u"in"), 1);
  EXPECT_TRUE(TrayRunning());
  EXPECT_EQ(Run(u"in"), 1);
  EXPECT_TRUE(machine().desktop.dialogs.empty()) << "a run without errors or Shift shows no log";
  EXPECT_FALSE(Exists(kTrayPath));
  EXPECT_FALSE(TrayRunning());
  EXPECT_NE(RunValue(), nullptr);
  EXPECT_EQ(Run(u"In_NoTray"), 1);
  EXPECT_FALSE(TrayRunning());
  EXPECT_EQ(RunValue(), nullptr);
  EXPECT_NE(machine().spooler.FindPrinter(u"Ravelquill"), nullptr);
}

// A monitor of builds 2416 to 2446 is kept, any other replaced.
TEST_F(InstallRunTest, ACompatibleMonitorIsKeptAnyOtherReplaced) {
  for (const WORD build : {2415, 2416, 2430, 2446, 2447}) {
    SCOPED_TRACE(build);
    const bool kept = build >= 2416 && build <= 2446;
    NextMachine();
    winsim::presets::AddProductMonitor(machine(), build);
    machine().desktop.shiftDown = true;
    EXPECT_EQ(Run(u"in"), 1);
    EXPECT_EQ(MonitorBuild(), kept ? build : 2446);
    EXPECT_EQ(Has("    >AddMonitor"), !kept);
    EXPECT_NE(machine().spooler.FindMonitor(u"Ravelquill:", u"Windows x64"), nullptr);
    EXPECT_EQ(machine().spooler.FindPrinter(u"Ravelquill")->port, u"Ravelquill:");
  }
}

// The spooler keeps the module loaded while it runs; stopped, it lets go.
TEST_F(InstallRunTest, AModuleHeldByTheSpoolerIsDeletedWithTheSpoolerStopped) {
  for (const char16_t* command : {u"un", u"in"}) {
    winsim::presets::AddProductMonitor(machine(), 2415);
    winsim::LockFile(machine(), SystemPath(machine()), ERROR_SHARING_VIOLATION, true);
    machine().desktop.shiftDown = true;
    EXPECT_EQ(Run(command), command[0] == u'u' ? 2 : 1) << Utf8(command);
    EXPECT_EQ(Shown().find("Error("), std::string::npos) << Shown();
    EXPECT_EQ(Exists(SystemPath(machine())), command[0] == u'i');
    EXPECT_EQ(machine().registry.FindValue(winsim::kSessionManagerKey, winsim::kPendingRenamesValue), nullptr);
  }
  EXPECT_EQ(MonitorBuild(), 2446);
}

TEST_F(InstallRunTest, AModuleLockedEvenThenIsDeletedAtRestart) {
  winsim::presets::AddProductMonitor(machine());
  winsim::LockFile(machine(), SystemPath(machine()));
  EXPECT_EQ(Run(u"un"), 101);
  const winsim::RegistryValue* pending =
      machine().registry.FindValue(winsim::kSessionManagerKey, winsim::kPendingRenamesValue);
  ASSERT_NE(pending, nullptr);
  EXPECT_EQ(winsim::MultiStrings(pending->data), (std::vector<std::u16string>{u"\\??\\" + SystemPath(machine()), u""}));
  EXPECT_EQ(machine().spooler.FindMonitor(u"Ravelquill:", u"Windows x64"), nullptr);

  winsim::Restart(machine());
  EXPECT_FALSE(Exists(SystemPath(machine())));
  EXPECT_EQ(Run(u"un"), 2);
}

// The reinstall tries a module that resists once more with the spooler
// stopped and then forgets it: the new module cannot be copied over it.
TEST_F(InstallRunTest, AReinstallForgetsAModuleLockedForGood) {
  winsim::presets::AddProductMonitor(machine(), 2415);
  winsim::LockFile(machine(), SystemPath(machine()));
  EXPECT_EQ(Run(u"in"), 100);
  EXPECT_EQ(MonitorBuild(), 2415);
  EXPECT_EQ(machine().registry.FindValue(winsim::kSessionManagerKey, winsim::kPendingRenamesValue), nullptr);
}

TEST_F(InstallRunTest, StagedDriverCopiesHeldByTheSpoolerGoWhenItStops) {
  machine().spooler.stagedHoldMs = 60000;
  machine().desktop.shiftDown = true;
  EXPECT_EQ(Run(u"in"), 1);
  EXPECT_NE(Shown().find(Crlf("    DeleteFile-try\n    >Restart Spooler\n    DeleteFile-try\n")), std::string::npos);
  for (const char16_t* file : {u"vexdrv64.dll", u"vexui64.dll", u"vexhelp.chm"}) {
    EXPECT_FALSE(Exists(kDriverDir + file)) << Utf8(file);
    EXPECT_TRUE(Exists(kDriverDir + u"3\\" + file)) << Utf8(file);
  }
}

TEST_F(InstallRunTest, ASpoolerThatCannotStartShowsTheErrorLog) {
  winsim::EnterServiceState(machine(), SERVICE_STOPPED);
  machine().services.spooler.startNeverCompletes = true;
  EXPECT_EQ(Run(u"in"), 100);
  ASSERT_EQ(machine().desktop.dialogs.size(), 1u);
  EXPECT_EQ(winsim::Narrow(LastDialog().title), "Ravelquill build 2446- Install error log!");
  EXPECT_TRUE(Has("  Error(4): Can't start the spooler"));
}

}  // namespace
