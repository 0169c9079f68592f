#include "shell/install_context.h"

#include "shell/file_version.h"
#include "shell/printer_enumeration.h"
#include "test_support.h"

namespace {

using Lines = std::vector<std::string>;

class InstallContextTest : public ContextTest {
 protected:
  // The context of a new run on the machine as it stands.
  void Init(DWORD flags = InitFlagX64) {
    FreeContext(context);
    InitContext(context, flags);
  }
  // Whether each printer of the snapshot is marked as the default.
  std::vector<bool> Defaults() {
    std::vector<bool> marks;
    for (DWORD i = 0; i < context.Printers.Count; ++i) {
      marks.push_back(context.Printers.Buffer[i].Attributes & PRINTER_ATTRIBUTE_DEFAULT);
    }
    return marks;
  }
};

TEST_F(InstallContextTest, X64FlagsSelectTheX64EnvironmentAndDirectories) {
  Init();
  EXPECT_EQ(LogLines(context), (Lines{"Ravelquill 2446", ">Check Spooler",
                                      "PrinterDriverDirectory(1):C:\\Windows\\system32\\spool\\DRIVERS\\x64",
                                      "PrinterDriverDirectory(2):C:\\Windows\\system32\\spool\\DRIVERS\\x64\\"}));
  EXPECT_EQ(context.ErrorCount + context.LogDepth, 0);
  EXPECT_EQ(Utf8(context.Environment) + "|" + Utf8(context.MonitorFile) + "|" + Utf8(context.DriverFile) + "|" +
                Utf8(context.UiFile) + "|" + Utf8(context.HelpFile),
            "Windows x64|vexmon64.dll|vexdrv64.dll|vexui64.dll|vexhelp.chm");
  EXPECT_EQ(Utf8(context.InstallDir), "C:\\Program Files\\Ravelquill\\bin\\");
  EXPECT_EQ(Utf8(context.SystemDir), "C:\\Windows\\system32\\");
  EXPECT_EQ(Utf8(context.DriverDir), "C:\\Windows\\system32\\spool\\DRIVERS\\x64\\");
  EXPECT_EQ(std::vector<int>(
                {context.CheckMonitorVersion, context.InstallMonitor, context.RegisterTray, context.CopyMonitor}),
            std::vector<int>({0, 1, 1, 1}));

  Init(InitFlagX64 | InitFlagNoTray);
  EXPECT_EQ(context.RegisterTray, 0);
  Init(0);
  EXPECT_EQ(Utf8(context.Environment) + "|" + Utf8(context.MonitorFile) + "|" + Utf8(context.DriverDir),
            "Windows NT x86|vexmon32.dll|C:\\Windows\\system32\\spool\\DRIVERS\\W32X86\\");
}

TEST_F(InstallContextTest, InstallDirIsCutAfterTheLastBackslashSlashOrColon) {
  const struct {
    std::u16string modulePath;
    const char* installDir;
  } cases[] = {
      {u"C:\\Program Files\\Ravelquill\\bin\\vexinst64.exe", "C:\\Program Files\\Ravelquill\\bin\\"},
      {u"C:\\tools/vexinst64.exe", "C:\\tools/"},
      {u"C:vexinst64.exe", "C:"},
      {u"vexinst64.exe", ""},
      // Cut by the system, the path names another directory.
      {u"C:\\" + std::u16string(400, u'd') + u"\\vexinst64.exe", ""},
  };
  for (const auto& c : cases) {
    machine().Caller().image = c.modulePath;
    Init();
    EXPECT_EQ(Utf8(context.InstallDir), c.installDir) << winsim::Narrow(c.modulePath);
  }
}

// Each directory that cannot be learnt is an error line with its own reason;
// the run goes on.
TEST_F(InstallContextTest, MissingDirectoriesAreErrorsSixAndSeven) {
  const std::string six = "Error(6): Can`t retrieve printer driver directory. - (",
                    seven = "Error(7): Can`t retrieve system directory. - (";
  machine().FailNext("GetSystemDirectoryW", ERROR_ACCESS_DENIED);
  machine().FailNext("GetPrinterDriverDirectoryW", RPC_S_SERVER_UNAVAILABLE);
  Init();
  EXPECT_EQ(LogLines(context), (Lines{"Ravelquill 2446", ">Check Spooler", six + "The RPC server is unavailable.)",
                                      seven + "Access is denied.)"}));
  EXPECT_EQ(context.ErrorCount, 2);
  EXPECT_EQ(context.SystemDir.Block, nullptr);
  EXPECT_EQ(context.DriverDir.Block, nullptr);
  EXPECT_EQ(Utf8(context.InstallDir), "C:\\Program Files\\Ravelquill\\bin\\");

  // Too long for MAX_PATH: the size reply sets no error, so the line must
  // not carry whatever an earlier call left behind.
  machine().systemDirectory = u"C:\\" + std::u16string(300, u'w');
  machine().FailNext("GetPrinterDriverDirectoryW", RPC_S_SERVER_UNAVAILABLE);
  Init();
  EXPECT_EQ(LogLines(context).back(), seven + "The data area passed to a system call is too small.)");
  EXPECT_EQ(context.SystemDir.Block, nullptr);

  machine().spooler.environments.erase(machine().spooler.environments.begin());  // "Windows x64"
  Init();
  EXPECT_EQ(LogLines(context)[2], six + "The environment specified is invalid.)");
}

TEST_F(InstallContextTest, DefaultPrinterIsMarkedExactlyAndOnEveryEqualRecord) {
  auto& printers = machine().spooler.printers;
  printers.clear();
  for (const char16_t* name : {u"Office", u"office", u"Office"}) {
    winsim::Printer printer;
    printer.name = name;
    printers.push_back(printer);
  }
  machine().spooler.defaultPrinter = u"Office";
  Init();
  EXPECT_EQ(Defaults(), (std::vector<bool>{true, false, true}));
  EXPECT_FALSE(printers.front().attributes & PRINTER_ATTRIBUTE_DEFAULT) << "the spooler was changed";

  // No default, or one too long to be read, marks nothing.
  printers.Rename(printers.front(), std::u16string(300, u'p'));
  for (const auto& name : {std::optional<std::u16string>{}, std::optional{printers.front().name}}) {
    machine().spooler.defaultPrinter = name;
    Init();
    EXPECT_EQ(Defaults(), (std::vector<bool>{false, false, false}));
    EXPECT_EQ(context.ErrorCount, 0);
  }
}

TEST_F(InstallContextTest, FreeContextReleasesEveryBlockTheRunTook) {
  Init();
  StringListAdd(context.PendingDeletes, TEXT("C:\\Windows\\system32\\vexmon64.dll"));
  auto* entry = static_cast<SavedSettingsEntry*>(GlobalAlloc(GPTR, sizeof(SavedSettingsEntry)));
  entry->SettingsName = static_cast<LPSTR>(GlobalAlloc(GPTR, 4));
  entry->Printer = &context.Printers.Buffer[0];
  context.SavedSettings = entry;
  context.ParkedPrinters = GlobalBlock<PRINTER_INFO_2W*>::Allocate(2 * sizeof(PRINTER_INFO_2W*));
  context.ParkedPrinters[0] = &context.Printers.Buffer[0];
  FreeContext(context);
  EXPECT_TRUE(machine().memory.globalBlocks.empty());
  EXPECT_EQ(context.Printers.Buffer.Get(), nullptr);
  EXPECT_EQ(context.Printers.Count, 0u);
  EXPECT_EQ(context.LogText.Block, nullptr);
  EXPECT_EQ(context.PendingDeletes, nullptr);
  // The fixture releases it again: a released context can be.
}

TEST_F(InstallContextTest, EnumLocalPrintersLeavesAnEmptySnapshotOnAnyFailure) {
  PrinterEnumeration printers;
  EnumLocalPrinters(printers);
  ASSERT_EQ(printers.Count, 1u);
  EXPECT_EQ(Utf8(printers.Buffer[0].pPrinterName), "Microsoft Print to PDF");
  EXPECT_EQ(printers.Buffer[0].pDevMode->dmSize, sizeof(DEVMODEW));

  machine().FailNext("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY);
  EnumLocalPrinters(printers);
  EXPECT_EQ(printers.Buffer.Get(), nullptr);
  EXPECT_EQ(printers.Count, 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(E_OUTOFMEMORY));

  machine().spooler.printers.clear();
  EnumLocalPrinters(printers);
  EXPECT_EQ(printers.Buffer.Get(), nullptr);
  EXPECT_EQ(printers.Count, 0u);
}

TEST_F(InstallContextTest, BuildNumberIsTheFourthNumberOfTheProductVersion) {
  machine().files.Put(u"C:\\x\\old.dll", {1, 2, 3}, winsim::FileVersion{7, 0, 0, 2415});
  machine().files.Put(u"C:\\x\\wide.dll", {1}, winsim::FileVersion{7, 1, 2, 0xFFFF});
  machine().files.Put(u"C:\\x\\plain.dll", {1, 2, 3});
  EXPECT_EQ(GetFileBuildNumber(TEXT("C:\\Program Files\\Ravelquill\\bin\\vexmon64.dll")), 2446);
  EXPECT_EQ(GetFileBuildNumber(TEXT("c:\\X\\OLD.DLL")), 2415);
  EXPECT_EQ(GetFileBuildNumber(TEXT("C:\\x\\wide.dll")), 65535);
  EXPECT_EQ(GetFileBuildNumber(TEXT("C:\\x\\plain.dll")), -1);
  EXPECT_EQ(GetFileBuildNumber(TEXT("C:\\x\\missing.dll")), -1);
  machine().FailNext("VerQueryValueW", ERROR_RESOURCE_TYPE_NOT_FOUND);
  EXPECT_EQ(GetFileBuildNumber(TEXT("C:\\x\\old.dll")), -1);
}

}  // namespace
