#include "shell/install_context.h"

#include "shell/file_version.h"
#include "shell/printer_enumeration.h"
#include "test_support.h"

namespace {

using InstallContextTest = MachineTest;

winsim::Printer NamedPrinter(const char16_t* name) {
  winsim::Printer p;
  p.name = name;
  return p;
}

TEST_F(InstallContextTest, FirstLinesNameTheBuildThenCheckTheSpooler) {
  InstallContext context;
  InitContext(context, InitFlagX64);
  const auto lines = LogLines(context);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "Ravelquill 2446");
  EXPECT_EQ(lines[1], ">Check Spooler");
  EXPECT_EQ(context.ErrorCount, 0);
  EXPECT_EQ(context.LogDepth, 0);
  FreeContext(context);
}

TEST_F(InstallContextTest, X64FlagsSelectTheX64EnvironmentAndDirectories) {
  InstallContext context;
  InitContext(context, InitFlagX64);
  EXPECT_EQ(Utf8(context.Environment), "Windows x64");
  EXPECT_EQ(Utf8(context.MonitorFile), "vexmon64.dll");
  EXPECT_EQ(Utf8(context.DriverFile), "vexdrv64.dll");
  EXPECT_EQ(Utf8(context.UiFile), "vexui64.dll");
  EXPECT_EQ(Utf8(context.HelpFile), "vexhelp.chm");
  EXPECT_EQ(Utf8(context.InstallDir), "C:\\Program Files\\Ravelquill\\bin\\");
  EXPECT_EQ(Utf8(context.SystemDir), "C:\\Windows\\system32\\");
  EXPECT_EQ(Utf8(context.DriverDir), "C:\\Windows\\system32\\spool\\DRIVERS\\x64\\");
  EXPECT_EQ(LogLines(context)[2], "PrinterDriverDirectory(1):C:\\Windows\\system32\\spool\\DRIVERS\\x64");
  EXPECT_EQ(LogLines(context)[3], "PrinterDriverDirectory(2):C:\\Windows\\system32\\spool\\DRIVERS\\x64\\");
  EXPECT_EQ(context.CheckMonitorVersion, 0);
  EXPECT_EQ(context.InstallMonitor, 1);
  EXPECT_EQ(context.RegisterTray, 1);
  EXPECT_EQ(context.CopyMonitor, 1);
  FreeContext(context);

  InitContext(context, InitFlagX64 | InitFlagNoTray);
  EXPECT_EQ(context.RegisterTray, 0);
  FreeContext(context);

  InitContext(context, 0);
  EXPECT_EQ(Utf8(context.Environment), "Windows NT x86");
  EXPECT_EQ(Utf8(context.MonitorFile), "vexmon32.dll");
  EXPECT_EQ(Utf8(context.DriverDir), "C:\\Windows\\system32\\spool\\DRIVERS\\W32X86\\");
  FreeContext(context);
}

TEST_F(InstallContextTest, InstallDirIsCutAfterTheLastBackslashSlashOrColon) {
  struct Case {
    std::u16string modulePath;
    const char* installDir;
  } cases[] = {
      {u"C:\\Program Files\\Ravelquill\\bin\\vexinst64.exe", "C:\\Program Files\\Ravelquill\\bin\\"},
      {u"C:\\tools/vexinst64.exe", "C:\\tools/"},
      {u"C:vexinst64.exe", "C:"},
      {u"vexinst64.exe", ""},
      // The system truncates the path to 259 characters, so only "C:\" is left.
      {u"C:\\" + std::u16string(400, u'd') + u"\\vexinst64.exe", "C:\\"},
  };
  for (const Case& c : cases) {
    machine().Caller().image = c.modulePath;
    InstallContext context;
    InitContext(context, InitFlagX64);
    EXPECT_EQ(Utf8(context.InstallDir), c.installDir) << winsim::Narrow(c.modulePath);
    FreeContext(context);
  }
}

TEST_F(InstallContextTest, MissingDirectoriesAreErrorLinesAndTheRunGoesOn) {
  machine().FailNext("GetSystemDirectoryW", ERROR_ACCESS_DENIED);
  machine().FailNext("GetPrinterDriverDirectoryW", RPC_S_SERVER_UNAVAILABLE);
  InstallContext context;
  InitContext(context, InitFlagX64);
  const auto lines = LogLines(context);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[2], "Error(6): Can`t retrieve printer driver directory. - (The RPC server is unavailable.)");
  EXPECT_EQ(lines[3], "Error(7): Can`t retrieve system directory. - (Access is denied.)");
  EXPECT_EQ(context.ErrorCount, 2);
  EXPECT_EQ(context.SystemDir.Block, nullptr);
  EXPECT_EQ(context.DriverDir.Block, nullptr);
  EXPECT_EQ(Utf8(context.InstallDir), "C:\\Program Files\\Ravelquill\\bin\\");
  FreeContext(context);
}

// A system directory too long for MAX_PATH: the size reply sets no error,
// so the line must not carry whatever an earlier call left behind.
TEST_F(InstallContextTest, ASystemDirectoryTooLongIsErrorSevenWithItsOwnReason) {
  machine().systemDirectory = u"C:\\" + std::u16string(300, u'w');
  machine().FailNext("GetPrinterDriverDirectoryW", RPC_S_SERVER_UNAVAILABLE);  // the error left before
  InstallContext context;
  InitContext(context, InitFlagX64);
  EXPECT_EQ(LogLines(context).back(),
            "Error(7): Can`t retrieve system directory. - (The data area passed to a system call is too small.)");
  EXPECT_EQ(context.SystemDir.Block, nullptr);
  FreeContext(context);
}

TEST_F(InstallContextTest, UnknownEnvironmentGivesErrorSix) {
  auto& environments = machine().spooler.environments;
  environments.erase(environments.begin());  // "Windows x64"
  InstallContext context;
  InitContext(context, InitFlagX64);
  EXPECT_EQ(LogLines(context)[2],
            "Error(6): Can`t retrieve printer driver directory. - (The environment specified is invalid.)");
  FreeContext(context);
}

TEST_F(InstallContextTest, DefaultPrinterIsMarkedExactlyAndOnEveryEqualRecord) {
  auto& printers = machine().spooler.printers;
  printers.clear();
  printers.push_back(NamedPrinter(u"Office"));
  printers.push_back(NamedPrinter(u"office"));
  printers.push_back(NamedPrinter(u"Office"));
  machine().spooler.defaultPrinter = u"Office";
  InstallContext context;
  InitContext(context, InitFlagX64);
  ASSERT_EQ(context.Printers.Count, 3u);
  EXPECT_TRUE(context.Printers.Buffer[0].Attributes & PRINTER_ATTRIBUTE_DEFAULT);
  EXPECT_FALSE(context.Printers.Buffer[1].Attributes & PRINTER_ATTRIBUTE_DEFAULT);
  EXPECT_TRUE(context.Printers.Buffer[2].Attributes & PRINTER_ATTRIBUTE_DEFAULT);
  EXPECT_FALSE(machine().spooler.printers[0].attributes & PRINTER_ATTRIBUTE_DEFAULT) << "the spooler was changed";
  FreeContext(context);
}

TEST_F(InstallContextTest, NoDefaultOrAnOverlongDefaultNameMarksNothing) {
  auto& printers = machine().spooler.printers;
  const std::u16string longName(300, u'p');
  printers.push_back(NamedPrinter(longName.c_str()));
  for (std::optional<std::u16string> name : {std::optional<std::u16string>{}, std::optional{longName}}) {
    machine().spooler.defaultPrinter = name;
    InstallContext context;
    InitContext(context, InitFlagX64);
    ASSERT_EQ(context.Printers.Count, 2u);
    for (DWORD i = 0; i < context.Printers.Count; ++i) {
      EXPECT_FALSE(context.Printers.Buffer[i].Attributes & PRINTER_ATTRIBUTE_DEFAULT);
    }
    EXPECT_EQ(context.ErrorCount, 0);
    FreeContext(context);
  }
}

TEST_F(InstallContextTest, FreeContextReleasesEveryBlockTheRunTook) {
  InstallContext context;
  InitContext(context, InitFlagX64);
  StringListAdd(context.PendingDeletes, TEXT("C:\\Windows\\system32\\vexmon64.dll"));
  auto* entry = static_cast<SavedSettingsEntry*>(GlobalAlloc(GPTR, sizeof(SavedSettingsEntry)));
  entry->SettingsName = static_cast<LPSTR>(GlobalAlloc(GPTR, 4));
  entry->Printer = &context.Printers.Buffer[0];
  context.SavedSettings = entry;
  context.ParkedPrinters = static_cast<PRINTER_INFO_2W**>(GlobalAlloc(GPTR, 2 * sizeof(PRINTER_INFO_2W*)));
  context.ParkedPrinters[0] = &context.Printers.Buffer[0];
  EXPECT_GT(machine().memory.globalBlocks.size(), 0u);
  FreeContext(context);
  EXPECT_TRUE(machine().memory.globalBlocks.empty());
  EXPECT_TRUE(machine().memory.localBlocks.empty());
  EXPECT_EQ(context.Printers.Buffer, nullptr);
  EXPECT_EQ(context.Printers.Count, 0u);
  EXPECT_EQ(context.LogText.Block, nullptr);
  EXPECT_EQ(context.PendingDeletes, nullptr);
  FreeContext(context);  // a released context can be released again
}

TEST_F(InstallContextTest, EnumLocalPrintersLeavesAnEmptySnapshotOnAnyFailure) {
  PrinterEnumeration printers;
  EnumLocalPrinters(printers);
  ASSERT_EQ(printers.Count, 1u);
  EXPECT_EQ(Utf8(printers.Buffer[0].pPrinterName), "Microsoft Print to PDF");
  EXPECT_EQ(printers.Buffer[0].pDevMode->dmSize, sizeof(DEVMODEW));

  machine().FailNext("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY);
  EnumLocalPrinters(printers);
  EXPECT_EQ(printers.Buffer, nullptr);
  EXPECT_EQ(printers.Count, 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(E_OUTOFMEMORY));

  machine().spooler.printers.clear();
  SetLastError(kPoisonError);
  EnumLocalPrinters(printers);
  EXPECT_EQ(printers.Buffer, nullptr);
  EXPECT_EQ(printers.Count, 0u);
  EXPECT_TRUE(machine().memory.globalBlocks.empty());
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
  EXPECT_TRUE(machine().memory.globalBlocks.empty());
}

}  // namespace
