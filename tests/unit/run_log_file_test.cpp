// The run log kept as a file under C:\ProgramData\Ravelquill\Logs: each
// install and uninstall leaves its whole log and exit code there, and
// nothing about the file ever changes the run's window or exit code.
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>

#include <winsim/trace.h>

#include "shell/exit_codes.h"
#include "shell/resource.h"
#include "shell/run_log_file.h"
#include "test_support.h"

namespace {

const std::u16string kLogs = u"C:\\ProgramData\\Ravelquill\\Logs\\";
const std::string kInstalled = "exit code: 1 (installed)\r\n";

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

class RunLogFileTest : public MachineTest {
 protected:
  ~RunLogFileTest() override { winsim::trace::StartRecording(false); }
  // The files of the log folder: name -> bytes.
  std::map<std::string, std::string> Files() {
    std::map<std::string, std::string> found;
    for (const auto& [key, file] : machine().files.files) {
      const std::u16string& path = file.path;
      if (path.size() > kLogs.size() && winsim::SameFolded(path.substr(0, kLogs.size()), kLogs) &&
          path.find(u'\\', kLogs.size()) == std::u16string::npos) {
        found[winsim::Narrow(path.substr(kLogs.size()))] = std::string(file.data.begin(), file.data.end());
      }
    }
    return found;
  }
  std::string Window() { return winsim::Narrow(machine().desktop.dialogs.back().items.at(IDC_LOG_TEXT)); }
  // The name of a log file written at the virtual clock's local time now.
  std::string NameNow(const std::string& rest) {
    const winsim::CivilTime t =
        winsim::CivilFromMilliseconds(winsim::LocalMilliseconds(machine().clock, machine().clock.now));
    char stamp[40];
    std::snprintf(stamp, sizeof(stamp), "vexinst64-%04d%02d%02d-%02d%02d%02d-", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return stamp + rest;
  }
  void Put(const std::u16string& path) { machine().files.Put(path, {'o', 'l', 'd'}); }
  bool Keep(const std::u16string& folder, LPCWSTR word = TEXT("in")) {
    TextBuffer log{};
    TextAssign(log, TEXT("Ravelquill 2446\r\n"));
    const bool kept = KeepRunLogFileIn(folder.c_str(), log, word, ExitInstalled);
    TextFree(log);
    return kept;
  }
};

// What the window showed, the lines after it, then the exit code, in UTF-8
// with CR LF, named by the word as the installer spells it.
TEST_F(RunLogFileTest, InstallAndUninstallKeepTheirLogAsTheWindowShowsItThenTheExitCode) {
  const struct {
    const char16_t* given;
    const char* named;
    const char* afterWindow;
    const char* exitLine;
  } runs[] = {{u"INSTALL", "install", ">>0020\r\n", kInstalled.c_str()},
              {u"in_notray", "in_notray", ">>0020\r\n", kInstalled.c_str()},
              {u"Un", "un", "", "exit code: 2 (uninstalled)\r\n"}};
  for (const auto& run : runs) {
    SCOPED_TRACE(run.named);
    NextMachine();
    winsim::presets::AddPrinter(machine(), u"B\u00fcro \u2603", u"Ravelquill:", u"Ravelquill printer");
    machine().desktop.shiftDown = true;
    Run(run.given);
    const std::string window = Window();
    EXPECT_NE(window.find(">DeletePrinter(B\xc3\xbcro \xe2\x98\x83)\r\n"), std::string::npos);
    EXPECT_EQ(Files(), (std::map<std::string, std::string>{
                           {NameNow(run.named + std::string(".log")), window + run.afterWindow + run.exitLine}}));
  }
}

TEST_F(RunLogFileTest, AnUnattendedRunWithAnErrorShowsNoWindowAndItsFileHoldsTheErrorLines) {
  machine().desktop.station.visible = false;
  machine().FailNext("GetSystemDirectoryW", ERROR_ACCESS_DENIED);
  EXPECT_EQ(Run(u"install"), ExitErrorsLogged);
  EXPECT_TRUE(machine().desktop.dialogs.empty());
  const std::string text = Files()[NameNow("install.log")];
  EXPECT_NE(text.find("\r\nError(7): Can`t retrieve system directory. - (Access is denied.)\r\n"), std::string::npos);
  EXPECT_TRUE(EndsWith(text, ">>0020\r\nexit code: 100 (error lines written to the run log)\r\n")) << text;
}

// What stands in the way is left as it is, and the run ends as it would.
TEST_F(RunLogFileTest, NoFolderForTheLogsKeepsNoFileAndChangesNothingElse) {
  const std::function<void()> ways[] = {
      [this] { machine().files.dirs.erase(winsim::FoldCase(u"C:\\ProgramData")); },
      [this] { Put(u"C:\\ProgramData\\Ravelquill"); },
      [this] { Put(u"C:\\ProgramData\\Ravelquill\\Logs"); },
  };
  for (const auto& arrange : ways) {
    NextMachine();
    arrange();
    const std::size_t files = machine().files.files.size();
    EXPECT_EQ(Run(u"install"), ExitInstalled);
    EXPECT_TRUE(machine().desktop.dialogs.empty());
    EXPECT_TRUE(Files().empty());
    EXPECT_EQ(machine().files.files.size(), files + 4) << "the run adds its four copies, no log";
  }
  // A disk that fills during the write: the part written is deleted.
  NextMachine();
  machine().files.SetFreeBytes(8);
  EXPECT_FALSE(Keep(u"C:\\ProgramData"));
  EXPECT_TRUE(Files().empty());
}

// Each call the log file's writing makes, failed in turn: the run ends as
// the clean run did, and a log left in the folder is always whole.
TEST_F(RunLogFileTest, EveryCallOfTheLogFileFailingLeavesTheRunAsItWasAndNoCutFile) {
  const std::map<std::string, DWORD> errors = {{"SHGetFolderPathW", ERROR_FILE_NOT_FOUND},
                                               {"CreateDirectoryW", ERROR_ACCESS_DENIED},
                                               {"WideCharToMultiByte", ERROR_INSUFFICIENT_BUFFER},
                                               {"GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY},
                                               {"CreateFileW", ERROR_ACCESS_DENIED},
                                               {"WriteFile", ERROR_DISK_FULL},
                                               {"FindFirstFileW", ERROR_ACCESS_DENIED},
                                               {"FindNextFileW", ERROR_ACCESS_DENIED},
                                               {"DeleteFileW", ERROR_ACCESS_DENIED}};
  const auto arrange = [this] {
    for (int i = 0; i < 20; ++i)
      Put(kLogs + winsim::Widen("vexinst64-20250101-0000" + std::to_string(10 + i) + "-un.log"));
  };
  arrange();
  winsim::trace::StartRecording();
  Run(u"install");
  std::vector<std::pair<std::string, DWORD>> calls;  // function, its call number in the run
  std::map<std::string, DWORD> seen;
  bool writing = false;
  for (const auto& call : winsim::trace::Calls()) {
    const DWORD k = ++seen[call.name];
    writing = writing || std::string(call.name) == "SHGetFolderPathW";
    if (writing && errors.count(call.name) != 0) calls.emplace_back(call.name, k);
  }
  winsim::trace::StartRecording(false);
  EXPECT_GE(calls.size(), 14u);
  for (const auto& [function, k] : calls) {
    SCOPED_TRACE(function + " #" + std::to_string(k));
    NextMachine();
    arrange();
    machine().FailCallOf(function, k, errors.at(function));
    EXPECT_EQ(Run(u"install"), ExitInstalled);
    EXPECT_TRUE(machine().faults.empty()) << "the same calls come before the one failed";
    EXPECT_TRUE(machine().desktop.dialogs.empty());
    for (const auto& [name, data] : Files()) {
      EXPECT_TRUE(data == "old" || EndsWith(data, kInstalled)) << name;
    }
  }
}

// Only names of the installer's own pattern are pruned, whatever Windows'
// wildcard lets through, and a full folder costs two listings.
TEST_F(RunLogFileTest, TheTwentyNewestLogsAreKeptAndNoOtherFile) {
  for (int i = 0; i < 1000; ++i) {
    char name[48];
    std::snprintf(name, sizeof(name), "vexinst64-20250101-%06d-install.log", i);
    Put(kLogs + winsim::Widen(name));
  }
  const std::set<std::string> foreign = {"vexinst64-20200101-000000-install.log.bak",
                                         "VEXINST64-20200101-000000-INSTALL.LOG",
                                         "vexinst64-20200101-000000-install-01.log",
                                         "vexinst64-20200101-000000-install-1.log",
                                         "vexinst64-2020010-000000-install.log",
                                         "vexinst64-20200101-000000-in stall.log",
                                         "vexinst64-20200101-000000-.log",
                                         "vexinst64-20200101-000000-install-2.logs",
                                         "old-vexinst64-20200101-000000-install.log",
                                         "notes.txt"};
  for (const std::string& name : foreign) Put(kLogs + winsim::Widen(name));
  machine().files.AddDirectory(kLogs + u"vexinst64-20200101-000000-in.log");
  winsim::trace::StartRecording();
  EXPECT_EQ(Run(u"install"), ExitInstalled);
  std::map<std::string, int> calls;
  for (const auto& call : winsim::trace::Calls()) ++calls[call.name];
  EXPECT_LE(calls["FindNextFileW"], 2 * 1012);
  std::set<std::string> expected = foreign;
  for (int i = 981; i < 1000; ++i) expected.insert("vexinst64-20250101-000" + std::to_string(i) + "-install.log");
  expected.insert(NameNow("install.log"));
  std::set<std::string> left;
  for (const auto& [name, data] : Files()) left.insert(name);
  EXPECT_EQ(left, expected);
  EXPECT_TRUE(machine().files.IsDirectory(kLogs + u"vexinst64-20200101-000000-in.log"));
}

TEST_F(RunLogFileTest, RunsOfOneSecondAndPathsAtTheLimitGetNamesOfTheirOwn) {
  for (const char* suffix : {".log", "-2.log", "-3.log"}) {
    EXPECT_TRUE(Keep(u"C:\\ProgramData"));
    EXPECT_EQ(Files().count(NameNow(std::string("in") + suffix)), 1u) << suffix;
  }
  // "\Ravelquill\Logs\" and "vexinst64-YYYYMMDD-HHMMSS-in.log" take 49 of
  // the 259 characters a path may have.
  const struct {
    std::size_t folderLength;
    LPCWSTR word;
    bool kept;
  } limits[] = {{210, TEXT("in"), true},
                {211, TEXT("in"), false},
                {3, TEXT("in-x"), false},
                {3, TEXT("..\\in"), false},
                {3, TEXT(""), false}};
  for (const auto& row : limits) {
    SCOPED_TRACE(row.folderLength);
    NextMachine();
    const std::u16string folder = u"C:\\" + std::u16string(row.folderLength - 3, u'd');
    machine().files.AddDirectory(folder);
    const std::size_t files = machine().files.files.size();
    EXPECT_EQ(Keep(folder, row.word), row.kept);
    EXPECT_EQ(machine().files.files.size(), files + (row.kept ? 1 : 0));
  }
}

// The guide's table lists every exit code with the installer's own words.
TEST(DeploymentGuide, ExitCodeTableIsTheInstallersOwn) {
  std::ifstream guide(std::string(__FILE__).substr(0, std::string(__FILE__).rfind("tests/unit/")) +
                      "docs/deployment.md");
  ASSERT_TRUE(guide.good());
  std::vector<std::pair<int, std::string>> rows;
  const std::regex row(R"(^\| (\d+) \| ([^|]+?) \|.*)");
  std::smatch match;
  bool inTable = false;
  for (std::string line; std::getline(guide, line);) {
    if (line.rfind("## ", 0) == 0) inTable = line == "## Exit codes";
    if (inTable && std::regex_match(line, match, row)) rows.emplace_back(std::stoi(match[1]), match[2]);
  }
  std::vector<std::pair<int, std::string>> installer;
  for (const ExitCodeMeaning& entry : ExitCodeMeanings) installer.emplace_back(entry.Code, Utf8(entry.Meaning));
  EXPECT_EQ(rows, installer);
}

}  // namespace
