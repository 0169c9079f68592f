// Bad input from the machine and the command line, through WinMain where a
// command meets it: each gets an orderly outcome, never an overrun (the
// sanitizer build runs the same tables) and never a leak (the fixture).
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <winsim_presets/monitor.h>
#include <winsim_presets/queues.h>

#include "shell/exit_codes.h"
#include "shell/resource.h"
#include "spooler/port_monitor.h"
#include "spooler/printer_settings.h"
#include "test_support.h"

namespace {

using winsim::Machine;
using winsim::presets::kBinDirectory;

// U+1D4B3: one character, two UTF-16 units.
const std::u16string kPair = u"\U0001D4B3";

std::u16string Repeat(const std::u16string& text, std::size_t times) {
  std::u16string out;
  while (times-- > 0) out += text;
  return out;
}

bool IsHigh(char16_t c) { return c >= 0xD800 && c < 0xDC00; }
bool IsLow(char16_t c) { return c >= 0xDC00 && c < 0xE000; }

class BadInputTest : public MachineTest {
 protected:
  // Shift is held, so every install and uninstall shows its log.
  int RunShown(const std::u16string& arguments, const std::u16string& installer = winsim::presets::kInstallerPath) {
    machine().desktop.shiftDown = true;
    return winsim::RunWinMain(installer, winsim::presets::InstallerCommandLine(arguments));
  }
  const winsim::DialogRecord* Shown() {
    return machine().desktop.dialogs.empty() ? nullptr : &machine().desktop.dialogs.back();
  }
  // The shown line that starts with `start`, or "". Every line ends in
  // CR LF and no character is cut in half.
  std::string ShownLine(const std::string& start) {
    const std::u16string log = Shown() ? Shown()->items.at(IDC_LOG_TEXT) : u"";
    for (std::size_t i = 0; i < log.size(); ++i) {
      const bool whole =
          IsHigh(log[i]) ? i + 1 < log.size() && IsLow(log[i + 1]) : !IsLow(log[i]) || (i > 0 && IsHigh(log[i - 1]));
      EXPECT_TRUE(whole) << "half a surrogate pair at " << i;
    }
    EXPECT_TRUE(log.empty() || log.substr(log.size() - 2) == u"\r\n");
    std::string found;
    std::size_t start_at = 0;
    for (std::size_t end; (end = log.find(u"\r\n", start_at)) != std::u16string::npos; start_at = end + 2) {
      const std::string line = winsim::Narrow(log.substr(start_at, end - start_at));
      if (found.empty() && line.rfind(start, 0) == 0) found = line;
    }
    return found;
  }
  bool Exists(const std::u16string& path) { return machine().files.Find(path) != nullptr; }
  // The files of the product's own directory, with their bytes.
  std::map<std::u16string, std::vector<std::uint8_t>> ProductFiles() {
    std::map<std::u16string, std::vector<std::uint8_t>> files;
    const std::u16string dir = winsim::FoldCase(std::u16string(kBinDirectory) + u"\\");
    for (const auto& [key, file] : machine().files.files) {
      if (key.rfind(dir, 0) == 0) files[key] = file.data;
    }
    return files;
  }
};

// Texts longer than the 1024-character line and the 260-character path
// buffers: a line is cut and still ends, a path that does not fit is refused.
TEST_F(BadInputTest, OverlongTextsAreCutOrRefused) {
  const std::u16string longSystemDir = u"C:\\" + Repeat(u"s", 150) + u"\\" + Repeat(u"s", 150);
  const std::u16string longProductDir = u"C:\\Program Files\\" + Repeat(u"p", 250);
  const std::u16string longTray = u"C:\\" + Repeat(u"t", 250) + u"\\ravtray.exe";
  const std::u16string kRunKey = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
  auto noSystemDir = [&](Machine& m) {
    m.systemDirectory = longSystemDir;
    winsim::presets::AddProductMonitor(m, 2415);
    m.files.currentDirectory = kBinDirectory;
  };
  const struct {
    const char* what;
    std::function<void(Machine&)> arrange;
    const char16_t* command;
    int code;
    std::string line;        // a line the log shows, or its start when cut
    std::size_t length = 0;  // the cut line's length in characters
    std::u16string installer = winsim::presets::kInstallerPath;
    std::function<bool(Machine&)> after = [](Machine&) { return true; };
  } cases[] = {
      // Cut short of the pair that would not fit whole.
      {"a driver directory of 1,216 characters",
       [](Machine& m) {
         m.spooler.environments[0].driverDirectory = u"C:\\Spool\\x" + Repeat(Repeat(kPair, 100) + u"\\", 6);
       },
       u"in", ExitErrorsLogged, "PrinterDriverDirectory(1):C:\\Spool\\x", 1022},
      {"staged paths of 260 characters",
       [](Machine& m) { m.spooler.environments[0].driverDirectory = u"C:\\" + Repeat(u"d", 244); }, u"in",
       ExitErrorsLogged,
       "        Error(9): Cant't open destination file: C:\\" + std::string(244, 'd') +
           "\\vexdrv64.dll - (The filename or extension is too long.)"},
      {"a system directory of 304 characters", [&](Machine& m) { m.systemDirectory = longSystemDir; }, u"un",
       ExitErrorsLogged,
       "Error(7): Can`t retrieve system directory. - (The data area passed to a system call is too small.)"},
      // Without a system directory the monitor's module is neither read,
      // copied nor deleted by its bare name in the current directory.
      {"no system directory, started in the product's directory", noSystemDir, u"un", ExitErrorsLogged,
       "    Auto calculated monitor file name: "},
      {"no system directory, started in the product's directory", noSystemDir, u"in", ExitErrorsLogged,
       "      Skip copy monitor file"},
      // The system cuts the installer's path: no file is read and no tray
      // program started from the directory the cut path would name.
      {"an installer path of 285 characters",
       [&](Machine& m) { winsim::presets::LayOutProduct(m, 2446, longProductDir); }, u"in", ExitErrorsLogged,
       "        Error(10): Cant't open source file: vexdrv64.dll - (The system cannot find the path specified.)", 0,
       longProductDir + u"\\bin\\vexinst64.exe",
       [&](Machine& m) { return !m.registry.FindValue(kRunKey, u"RavelquillTray"); }},
      // Not read in full, so the file it names is not deleted; the value goes.
      {"a Run value of 265 characters",
       [&](Machine& m) {
         m.files.Put(longTray, {1});
         m.registry.SetString(kRunKey, u"RavelquillTray", longTray);
       },
       u"un", ExitUninstalled, "  >DeleteMonitor", 0, winsim::presets::kInstallerPath,
       [&](Machine& m) { return m.files.Find(longTray) && !m.registry.FindValue(kRunKey, u"RavelquillTray"); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    NextMachine();
    c.arrange(machine());
    const auto product = ProductFiles();
    EXPECT_EQ(RunShown(c.command, c.installer), c.code);
    EXPECT_EQ(ProductFiles(), product) << "the product's own files are kept";
    EXPECT_TRUE(c.after(machine()));
    const std::string line = ShownLine(c.line);
    if (c.length == 0) {
      EXPECT_EQ(line, c.line);
    } else {
      EXPECT_EQ(winsim::Widen(line).size(), c.length) << line;
    }
  }
}

// A settings name is carried over when it fits its 64 bytes; names outside
// ASCII pass through the log, the spooler and the settings key unchanged.
TEST_F(BadInputTest, SettingsNamesCarryOverWhenTheyFit) {
  const struct {
    std::u16string printer;
    std::string settings;  // ANSI (Windows-1252)
    std::u16string key;    // the settings key's name
    bool carried;
  } cases[] = {
      {u"Office", std::string(63, 'n'), Repeat(u"n", 63), true},
      {u"Office", std::string(64, 'n'), Repeat(u"n", 64), false},
      {u"Office", std::string(300, 'n'), Repeat(u"n", 300), false},
      // 219 UTF-16 units: near the 220 the spooler allows a printer name.
      {u"B\u00fcro " + Repeat(kPair, 107),
       "B\xfc"
       "ro",
       u"B\u00fcro", true},
  };
  const std::u16string user = u"HKEY_CURRENT_USER\\Software\\Morvath Software KFT\\Ravelquill\\Ravelquills\\";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.settings.size());
    NextMachine();
    winsim::presets::AddProductPortAndDriver(machine());
    winsim::presets::PutSettingsName(
        winsim::presets::AddPrinter(machine(), c.printer, u"Ravelquill:", u"Ravelquill printer"), u"PrinterDriverData",
        c.settings);
    machine().registry.SetDword(user + c.key, u"deleted", 1);
    EXPECT_EQ(RunShown(u"in"), ExitInstalled);
    const std::string name = winsim::Narrow(c.printer);
    EXPECT_EQ(ShownLine("        >DeletePrinter("), "        >DeletePrinter(" + name + ")");
    EXPECT_EQ(ShownLine("    >AddPrinter("), "    >AddPrinter(" + (c.carried ? name : "Ravelquill") + ")");
    const winsim::Printer* printer = machine().spooler.FindPrinter(c.printer);
    ASSERT_EQ(printer != nullptr, c.carried);
    if (printer != nullptr) {
      EXPECT_EQ(winsim::presets::SettingsNameOf(*printer, u"DsUser"), c.settings);
    }
    EXPECT_EQ(machine().registry.FindValue(user + c.key, u"deleted") == nullptr, c.carried);
  }
  // A key path that does not fit the 260-byte text is not opened, not cut.
  NextMachine();
  EXPECT_FALSE(ClearDeletedMark(("Ravelquills\\" + std::string(300, 'n')).c_str()));
  EXPECT_FALSE(ClearDeletedMark(nullptr));
}

// Windows keeps half a surrogate pair in a name as it is; read as text it
// is U+FFFD and its line still ends.
TEST_F(BadInputTest, HalfAPairInAPrinterNameKeepsTheLineEnd) {
  winsim::presets::AddProductPortAndDriver(machine());
  winsim::presets::AddPrinter(machine(), u"Half \xD83D", u"Ravelquill:", u"Ravelquill printer");
  EXPECT_EQ(RunShown(u"un"), ExitUninstalled);
  const std::string log = winsim::Narrow(Shown()->items.at(IDC_LOG_TEXT));
  EXPECT_NE(log.find("\r\n    >DeletePrinter(Half \uFFFD)\r\n      OK\r\n"), std::string::npos) << log;
}

// Windows names every monitor; a nameless entry is listed all the same and
// never taken for the product's.
TEST_F(BadInputTest, NamelessMonitorsAreListedAndNeverMatch) {
  winsim::presets::AddProductMonitor(machine());
  WCHAR environment[] = u"Windows x64", product[] = u"Ravelquill:";
  MONITOR_INFO_2W full[] = {{nullptr, environment, nullptr}, {product, environment, nullptr}};
  MONITOR_INFO_1W names[] = {{nullptr}, {product}};
  EXPECT_EQ(FindProductMonitor({GlobalCopy(names), 1, 2}), 1);
  EXPECT_EQ(FindProductMonitor({GlobalCopy(full), 2, 1}), -1);
  InstallContext context{};
  TextAssign(context.SystemDir, u"C:\\Windows\\system32\\");
  RemovePortMonitor(context, {GlobalCopy(full), 2, 2});
  const auto lines = LogLines(context);
  FreeContext(context);
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(
      std::vector<std::string>(lines.begin() + 2, lines.begin() + 5),
      (std::vector<std::string>{"  1. ***EMPTY***", "  2. Ravelquill:", "  ---------------------------------------"}));
  EXPECT_EQ(lines[5], "  Port monitor is found. Index=2");
}

// Only a well-formed pending deletion deletes the file it names.
TEST_F(BadInputTest, MalformedPendingRenamesDeleteNothing) {
  const std::u16string file = u"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\vexdrv64.dll";
  const std::u16string entry = u"\\??\\" + file;
  const std::vector<BYTE> deletion = winsim::MultiStringBytes({entry, u""});
  const struct {
    const char* what;
    DWORD type;
    std::vector<BYTE> bytes;
    bool deleted;
  } cases[] = {
      {"well formed", REG_MULTI_SZ, deletion, true},
      {"REG_EXPAND_SZ", REG_EXPAND_SZ, deletion, false},
      {"REG_DWORD", REG_DWORD, {1, 0, 0, 0}, false},
      {"only terminators", REG_MULTI_SZ, std::vector<BYTE>(10, 0), false},
      {"a source without its target", REG_MULTI_SZ, winsim::MultiStringBytes({entry}), false},
      {"the file as a target only", REG_MULTI_SZ, winsim::MultiStringBytes({u"", entry}), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    NextMachine();
    machine().files.Put(file, {1, 2, 3});
    machine().registry.SetValue(winsim::kSessionManagerKey, winsim::kPendingRenamesValue, c.type, c.bytes);
    EXPECT_EQ(Run(u"onInit"), ExitDefaultPrinter);
    EXPECT_EQ(Exists(file), !c.deleted);
    EXPECT_EQ(machine().registry.FindValue(winsim::kSessionManagerKey, winsim::kPendingRenamesValue)->data, c.bytes);
  }
}

// Quotes and tabs split as Windows splits them; the owner window is read
// only from a third element, whatever its sign, digits and trailing text.
TEST_F(BadInputTest, CommandLinesWithQuotesTabsAndManyArguments) {
  const struct {
    std::u16string line;  // "%h" stands for a window's handle in decimal
    int code;
    bool owned;
  } cases[] = {
      {u"in\t%h", ExitInstalled, true},
      {u"un\t \t%h", ExitUninstalled, true},
      {u"\"in\" \"%h\"", ExitInstalled, true},
      {u"\"i\"n +%habc", ExitInstalled, true},
      {u"\"in %h\"", ExitNoCommand, false},
      {u"in -0", ExitInstalled, false},
      {u"in +12abc", ExitInstalled, false},
      {u"in 99999999999", ExitInstalled, false},
      {u"in %h" + Repeat(u" x", 998), ExitInstalled, false},
  };
  for (const auto& c : cases) {
    NextMachine();
    const HWND window = machine().desktop.CreateWindow(u"SetupWindow", u"Setup");
    std::u16string line = c.line;
    const std::size_t at = line.find(u"%h");
    if (at != std::u16string::npos) {
      line.replace(at, 2, winsim::Widen(std::to_string(reinterpret_cast<LONG_PTR>(window))));
    }
    SCOPED_TRACE(winsim::Narrow(line.substr(0, 40)));
    EXPECT_EQ(RunShown(line), c.code);
    ASSERT_EQ(Shown() != nullptr, c.code != ExitNoCommand);
    if (Shown() != nullptr) {
      EXPECT_EQ(Shown()->owner, c.owned ? window : nullptr);
    }
  }
}

}  // namespace
