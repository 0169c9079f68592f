// The run log kept as a file under C:\ProgramData\Ravelquill\Logs: each
// install and uninstall leaves its log and exit code there, and nothing
// about the file changes the run's window or exit code.
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>

#include "shell/exit_codes.h"
#include "shell/resource.h"
#include "shell/run_log_file.h"
#include "test_support.h"

namespace {

const std::u16string kLogs = u"C:\\ProgramData\\Ravelquill\\Logs\\";

class RunLogFileTest : public MachineTest {
 protected:
  std::map<std::string, std::string> Files() {  // the log folder's files: name -> bytes
    std::map<std::string, std::string> found;
    for (const auto& [key, file] : machine().files.files) {
      if (!winsim::SameFolded(winsim::ParentPath(file.path) + u"\\", kLogs)) continue;
      found[winsim::Narrow(file.path.substr(kLogs.size()))] = std::string(file.data.begin(), file.data.end());
    }
    return found;
  }
  std::string Named(const std::string& rest) {  // a log file's name at the virtual clock's local time
    const auto t = winsim::CivilFromMilliseconds(winsim::LocalMilliseconds(machine().clock, machine().clock.now));
    char stamp[32];
    std::snprintf(stamp, sizeof(stamp), "vexinst64-%04d%02d%02d-%02d%02d%02d-", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return stamp + rest;
  }
  void Put(const std::string& name) { machine().files.Put(kLogs + winsim::Widen(name), {'o', 'l', 'd'}); }
  bool Keep(const std::u16string& folder, LPCWSTR word = TEXT("in")) {  // an empty log, as a run keeps it
    return KeepRunLogFileIn(folder.c_str(), TextBuffer{}, word, ExitInstalled);
  }
};

// The window's text, the lines after it, the exit code; UTF-8, CR LF; named
// by the word as the installer spells it.
TEST_F(RunLogFileTest, InstallAndUninstallKeepTheirLogAsTheWindowShowsItThenTheExitCode) {
  const struct {
    const char16_t* given;
    const char *named, *end;
  } runs[] = {{u"INSTALL", "install", ">>0020\r\nexit code: 1 (installed)\r\n"},
              {u"in_notray", "in_notray", ">>0020\r\nexit code: 1 (installed)\r\n"},
              {u"Un", "un", "exit code: 2 (uninstalled)\r\n"}};
  for (const auto& run : runs) {
    NextMachine();
    winsim::presets::AddPrinter(machine(), u"B\u00fcro \u2603", u"Ravelquill:", u"Ravelquill printer");
    machine().desktop.shiftDown = true;
    Run(run.given);
    const std::string window = winsim::Narrow(machine().desktop.dialogs.back().items.at(IDC_LOG_TEXT));
    EXPECT_NE(window.find(">DeletePrinter(B\xc3\xbcro \xe2\x98\x83)\r\n"), std::string::npos);
    EXPECT_EQ(Files(),
              (std::map<std::string, std::string>{{Named(run.named + std::string(".log")), window + run.end}}));
  }
}

TEST_F(RunLogFileTest, AnUnattendedRunWithAnErrorShowsNoWindowAndItsFileHoldsTheErrorLines) {
  machine().desktop.station.visible = false;
  machine().FailNext("GetSystemDirectoryW", ERROR_ACCESS_DENIED);
  EXPECT_EQ(Run(u"install"), ExitErrorsLogged);
  EXPECT_TRUE(machine().desktop.dialogs.empty());
  const std::string text = Files()[Named("install.log")],
                    end = ">>0020\r\nexit code: 100 (error lines written to the run log)\r\n";
  EXPECT_NE(text.find("\r\nError(7): Can`t retrieve system directory. - (Access is denied.)\r\n"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - std::min(text.size(), end.size())), end);
}

// What stands in the way stays as it is, and the run ends as it would.
TEST_F(RunLogFileTest, NoFolderForTheLogsOrAFullDiskKeepsNoFileAndChangesNothingElse) {
  const std::function<void()> ways[] = {[this] { machine().files.dirs.erase(winsim::FoldCase(u"C:\\ProgramData")); },
                                        [this] { machine().files.Put(u"C:\\ProgramData\\Ravelquill\\Logs"); }};
  for (const auto& arrange : ways) {
    NextMachine();
    arrange();
    const std::size_t files = machine().files.files.size();
    EXPECT_EQ(Run(u"install"), ExitInstalled);
    EXPECT_TRUE(machine().desktop.dialogs.empty());
    EXPECT_EQ(machine().files.files.size(), files + 4) << "the four copies of the install, no log";
  }
  NextMachine();
  machine().files.SetFreeBytes(8);  // the disk fills during the write
  EXPECT_FALSE(Keep(u"C:\\ProgramData"));
  EXPECT_TRUE(Files().empty());
}

// A long log goes out in pieces; a surrogate pair across a piece's end
// stays one character.
TEST_F(RunLogFileTest, ALongLogIsWrittenWholeInPieces) {
  std::u16string text(4095, u'a');
  text += u"\U0001F5A8 printer\r\n";
  text += std::u16string(9000, u'b');
  TextBuffer log{};
  TextAssign(log, text.c_str());
  EXPECT_TRUE(KeepRunLogFileIn(u"C:\\ProgramData", log, TEXT("in"), ExitInstalled));
  TextFree(log);
  const auto files = Files();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files.begin()->second, winsim::Narrow(text) + "exit code: 1 (installed)\r\n");
}

// Of 1,000 older logs the 19 newest stay beside the new one; a name Windows'
// wildcard lets through but not of the installer's pattern is never deleted.
TEST_F(RunLogFileTest, TheTwentyNewestLogsAreKeptAndNoOtherFile) {
  std::set<std::string> left,
      expected = {"vexinst64-20200101-000000-install.log.bak", "notes.txt",
                  "VEXINST64-20200101-000000-INSTALL.LOG",     "vexinst64-20200101-000000-.log",
                  "vexinst64-20200101-000000-install-01.log",  "vexinst64-2020010-000000-in.log",
                  "vexinst64-20200101-000000-install-1.log",   "vexinst64-20200101-000000-i n.log"};
  for (const std::string& name : expected) Put(name);
  for (int i = 0; i < 1000; ++i) {
    const std::string name = "vexinst64-20250101-" + std::to_string(100000 + i) + "-install.log";
    Put(name);
    if (i >= 981) expected.insert(name);
  }
  machine().files.AddDirectory(kLogs + u"vexinst64-20200101-000000-in.log");
  EXPECT_EQ(Run(u"install"), ExitInstalled);
  expected.insert(Named("install.log"));
  for (const auto& [name, data] : Files()) left.insert(name);
  EXPECT_EQ(left, expected);
  EXPECT_TRUE(machine().files.IsDirectory(kLogs + u"vexinst64-20200101-000000-in.log"));
}

TEST_F(RunLogFileTest, RunsOfOneSecondAndPathsAtTheLimitGetNamesOfTheirOwn) {
  // 25 runs of one second: -2, -3, ...; each run's own log is always kept.
  std::map<std::string, std::string> before;
  for (int run = 1; run <= 25; ++run) {
    EXPECT_TRUE(Keep(u"C:\\ProgramData"));
    const std::map<std::string, std::string> after = Files();
    std::size_t fresh = 0;
    for (const auto& [name, data] : after) fresh += before.count(name) == 0 ? 1 : 0;
    EXPECT_EQ(fresh, 1u) << run;
    EXPECT_EQ(after.size(), std::min<std::size_t>(run, 20));
    if (run <= 3) EXPECT_EQ(after.count(Named(run == 1 ? "in.log" : "in-" + std::to_string(run) + ".log")), 1u);
    before = after;
  }
  // "\Ravelquill\Logs\vexinst64-YYYYMMDD-HHMMSS-in.log" takes 49 of the 259
  // characters a path may have; a word is lower-case letters and "_".
  const struct {
    std::size_t folder;
    LPCWSTR word;
    bool kept;
  } rows[] = {{210, TEXT("in"), true}, {211, TEXT("in"), false}, {3, TEXT("..\\in"), false}, {3, TEXT(""), false}};
  for (const auto& row : rows) {
    NextMachine();
    const std::u16string folder = u"C:\\" + std::u16string(row.folder - 3, u'd');
    machine().files.AddDirectory(folder);
    const std::size_t files = machine().files.files.size();
    EXPECT_EQ(Keep(folder, row.word), row.kept) << row.folder;
    EXPECT_EQ(machine().files.files.size(), files + (row.kept ? 1 : 0));
  }
}

TEST(DeploymentGuide, ExitCodeTableIsTheInstallersOwn) {
  const std::string file = __FILE__;
  std::ifstream guide(file.substr(0, file.rfind("tests/unit/")) + "docs/deployment.md");
  std::vector<std::pair<int, std::string>> rows, installer;
  bool inTable = false;
  std::smatch cell;
  for (std::string line; std::getline(guide, line);) {
    if (line.rfind("## ", 0) == 0) inTable = line == "## Exit codes";
    if (inTable && std::regex_match(line, cell, std::regex(R"(^\| (\d+) \| ([^|]+?) \|.*)"))) {
      rows.emplace_back(std::stoi(cell[1]), cell[2]);
    }
  }
  for (const ExitCodeMeaning& entry : ExitCodeMeanings) installer.emplace_back(entry.Code, Utf8(entry.Meaning));
  EXPECT_EQ(rows, installer);
}

}  // namespace
