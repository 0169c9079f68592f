// The tray companion and the help window, on the virtual clock: how long
// each operation waits for programs that quit, dawdle, or never answer.
#include <functional>
#include <string>
#include <vector>

#include "test_support.h"
#include "tray/help_window.h"
#include "tray/tray_companion.h"

namespace {

using winsim::presets::kTrayPath;
const std::u16string kRunKey = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::u16string kHelpViewer = u"C:\\Windows\\hh.exe";

class TrayTest : public ContextTest {
 protected:
  winsim::ProgramProfile& Profile(const std::u16string& fileName) {
    for (auto& profile : machine().programs) {
      if (profile.fileName == fileName) return profile;
    }
    return machine().programs.emplace_back();
  }
  DWORD Start(const std::u16string& image) {
    return winsim::StartProcess(machine(), winsim::ProgramKind::Program, image);
  }
  bool Running(DWORD id) { return machine().FindProcess(id)->running; }
  bool Exists(const std::u16string& path) { return machine().files.Find(path) != nullptr; }
  const winsim::RegistryValue* RunValue() { return machine().registry.FindValue(kRunKey, u"RavelquillTray"); }
  void SetRunValue(DWORD type, const std::u16string& text, bool terminated = true) {
    std::vector<BYTE> bytes(reinterpret_cast<const BYTE*>(text.c_str()),
                            reinterpret_cast<const BYTE*>(text.c_str() + text.size() + (terminated ? 1 : 0)));
    machine().registry.SetValue(kRunKey, u"RavelquillTray", type, bytes);
  }
  std::uint64_t VirtualMs(const std::function<void()>& body) {
    const std::uint64_t start = machine().clock.now;
    body();
    return machine().clock.now - start;
  }
};

template <typename Case>
class TrayTable : public TrayTest, public ::testing::WithParamInterface<Case> {};
const auto kCaseName = [](const auto& info) { return std::string(info.param.name); };

struct StopCase {
  const char* name;
  bool running, deaf, windowless;
  DWORD quitDelayMs;
  bool runValue;
  std::uint64_t ms;  // virtual time the stop takes
  bool trayLeft;     // still running, so its file stays
};
using StopTest = TrayTable<StopCase>;

TEST_P(StopTest, WaitsBoundedForTheTrayProgramThenRemovesItsFileAndRunValue) {
  const StopCase& c = GetParam();
  Profile(u"ravtray.exe").deaf = c.deaf;
  Profile(u"ravtray.exe").windowless = c.windowless;
  Profile(u"ravtray.exe").quitDelayMs = c.quitDelayMs;
  const DWORD tray = c.running ? Start(kTrayPath) : 0;
  if (c.runValue) SetRunValue(REG_SZ, kTrayPath);
  EXPECT_EQ(VirtualMs(StopTrayCompanion), c.ms);
  EXPECT_EQ(tray != 0 && Running(tray), c.trayLeft);
  EXPECT_EQ(Exists(kTrayPath), c.trayLeft || !c.runValue) << "deleted only when named and not running";
  EXPECT_EQ(RunValue(), nullptr);
  EXPECT_EQ(machine().mutexes.count(winsim::presets::kTrayMutex), c.trayLeft ? 1u : 0u) << "the installer let it go";
}

// A running program's file refuses deletion (5): 10 tries, 100 ms apart.
INSTANTIATE_TEST_SUITE_P(Tray, StopTest,
                         ::testing::Values(StopCase{"NotRunning", false, false, false, 200, true, 0, false},
                                           StopCase{"NotRunningNoRunValue", false, false, false, 200, false, 1000,
                                                    false},
                                           StopCase{"Quits", true, false, false, 200, true, 200, false},
                                           StopCase{"SlowerThanOneWait", true, false, false, 7000, true, 7000, false},
                                           StopCase{"Deaf", true, true, false, 200, true, 21 * 5000 + 900, true},
                                           StopCase{"Windowless", true, false, true, 200, true, 20 * 250 + 900, true}),
                         kCaseName);

TEST_F(TrayTest, TheMutexTakenOverFromTheTrayProgramIsReleased) {
  Start(kTrayPath);
  winsim::Handle other;  // another program keeps the mutex alive
  other.kind = winsim::HandleKind::Mutex;
  other.process = winsim::kSystemProcess;
  other.object = winsim::presets::kTrayMutex;
  machine().handles.Add(other);
  StopTrayCompanion();
  EXPECT_EQ(machine().mutexes.at(winsim::presets::kTrayMutex).owner, 0u) << "a new tray program can take it";
}

struct ValueCase {
  const char* name;
  DWORD type;
  std::u16string text;
  bool terminated, locked;
  std::uint64_t ms;
  bool trayFileLeft;
};
using RunValueTest = TrayTable<ValueCase>;

TEST_P(RunValueTest, DeletesOnlyATrayProgramFileThatTheValueNames) {
  const ValueCase& c = GetParam();
  SetRunValue(c.type, c.text, c.terminated);
  if (c.locked) winsim::LockFile(machine(), kTrayPath);
  EXPECT_EQ(VirtualMs(StopTrayCompanion), c.ms);
  EXPECT_EQ(Exists(kTrayPath), c.trayFileLeft);
  EXPECT_TRUE(Exists(kHelpViewer));
  EXPECT_EQ(RunValue(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Tray, RunValueTest,
    ::testing::Values(ValueCase{"Plain", REG_SZ, kTrayPath, true, false, 0, false},
                      ValueCase{"StoredWithoutTerminator", REG_SZ, kTrayPath, false, false, 0, false},
                      ValueCase{"Empty", REG_SZ, u"", true, false, 0, true},
                      ValueCase{"LongerThanTheBuffer", REG_SZ, std::u16string(300, u'x'), true, false, 1000, true},
                      ValueCase{"NotAString", REG_DWORD, u"ab", false, false, 1000, true},
                      ValueCase{"AnotherProgram", REG_SZ, kHelpViewer, true, false, 0, true},
                      ValueCase{"MissingFile", REG_SZ, u"C:\\Windows\\ravtray.exe", true, false, 0, true},
                      ValueCase{"SharingViolation", REG_SZ, kTrayPath, true, true, 9 * 10, true}),
    kCaseName);

struct StartCase {
  const char* name;
  std::u16string installDir;
  BYTE registerTray;
  DWORD major, platform;
  bool runKeyFails;
  const char16_t* runValue;  // null: none written
  bool started;
};
using StartTest = TrayTable<StartCase>;

TEST_P(StartTest, RegistersAndStartsTheTrayProgramFromTheParentDirectory) {
  const StartCase& c = GetParam();
  TextAssign(context.InstallDir, c.installDir.c_str());
  context.RegisterTray = c.registerTray;
  machine().version.major = c.major;
  machine().version.platform = c.platform;
  if (c.runKeyFails) machine().FailNext("RegOpenKeyExW", ERROR_ACCESS_DENIED);
  EXPECT_EQ(VirtualMs([this] { StartTrayCompanion(context); }), 0u) << "nothing is waited for";
  const winsim::RegistryValue* value = RunValue();
  ASSERT_EQ(value != nullptr, c.runValue != nullptr);
  if (value != nullptr) {
    EXPECT_EQ(value->type, static_cast<DWORD>(REG_SZ));
    const std::u16string stored(reinterpret_cast<const char16_t*>(value->data.data()), value->data.size() / 2);
    EXPECT_EQ(stored, c.runValue + std::u16string(1, u'\0')) << "unquoted, terminator counted";
  }
  EXPECT_EQ(FindWindowW(winsim::presets::kTrayWindowClass, nullptr) != nullptr, c.started);
}

const std::u16string kLongDir = u"C:\\" + std::u16string(300, u'd');
const std::u16string kLongPath = kLongDir + u"\\ravtray.exe";
INSTANTIATE_TEST_SUITE_P(
    Tray, StartTest,
    ::testing::Values(StartCase{"ProductLayout", u"C:\\Program Files\\Ravelquill\\bin\\", 1, 6, 2, false, kTrayPath,
                                true},
                      StartCase{"NoTray", u"C:\\Program Files\\Ravelquill\\bin\\", 0, 6, 2, false, nullptr, false},
                      StartCase{"WindowsXP", u"C:\\Program Files\\Ravelquill\\bin\\", 1, 5, 2, false, nullptr, false},
                      StartCase{"NotNT", u"C:\\Program Files\\Ravelquill\\bin\\", 1, 6, 1, false, nullptr, false},
                      StartCase{"RunKeyRefused", u"C:\\Program Files\\Ravelquill\\bin\\", 1, 6, 2, true, nullptr, true},
                      StartCase{"DriveRoot", u"C:\\", 1, 6, 2, false, u"ravtray.exe", false},
                      // Cut to 259 characters in the command line only.
                      StartCase{"LongPath", kLongDir + u"\\bin\\", 1, 10, 2, false, kLongPath.c_str(), false}),
    kCaseName);

TEST_F(TrayTest, ProgramPathIsInTheParentOfTheInstallerDirectory) {
  const std::pair<std::u16string, std::string> cases[] = {
      {u"C:\\Program Files\\Ravelquill\\bin\\", "C:\\Program Files\\Ravelquill\\ravtray.exe"},
      {u"C:\\a/b\\", "C:\\ravtray.exe"},  // the last backslash wins over a later slash
      {u"C:/a/b/", "C:/a\\ravtray.exe"},
      {u"\\bin\\", "ravtray.exe"},
      {u"C:\\", "ravtray.exe"},
      {u"", "ravtray.exe"},
  };
  for (const auto& [dir, expected] : cases) {
    TextAssign(context.InstallDir, dir.c_str());
    TextBuffer path = TrayProgramPath(context.InstallDir);
    EXPECT_EQ(Utf8(path), expected) << Utf8(dir.c_str());
    TextFree(path);
  }
}

struct HelpCase {
  const char* name;
  int windows;
  bool neverCloses;
  std::uint64_t ms;
  std::size_t left;
};
using HelpTest = TrayTable<HelpCase>;

TEST_P(HelpTest, ClosesEveryProductHelpWindowButGivesUpAfterFiveSeconds) {
  const HelpCase& c = GetParam();
  Profile(u"hh.exe").neverCloses = c.neverCloses;
  for (int i = 0; i < c.windows; ++i) Start(kHelpViewer);
  machine().desktop.CreateWindow(u"HH Parent", u"Windows Help");  // another product's help stays
  EXPECT_EQ(VirtualMs(CloseHelpWindow), c.ms);
  std::size_t left = 0;
  for (const auto& entry : machine().desktop.windows) left += entry.second.title == u"Ravelquill Help";
  EXPECT_EQ(left, c.left);
  EXPECT_NE(FindWindowW(u"HH Parent", u"Windows Help"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Tray, HelpTest,
                         ::testing::Values(HelpCase{"None", 0, false, 0, 0}, HelpCase{"One", 1, false, 50, 0},
                                           HelpCase{"Two", 2, false, 100, 0},
                                           HelpCase{"NeverCloses", 1, true, 100 * 50, 1}),
                         kCaseName);

TEST_F(TrayTest, RemoveTrayCommandStopsTheTrayAndExitsWithSix) {
  const DWORD tray = Start(kTrayPath);
  SetRunValue(REG_SZ, kTrayPath);
  EXPECT_EQ(Run(u"removetrays"), 6);
  EXPECT_TRUE(Running(tray)) << "not the command";
  EXPECT_EQ(Run(u"RemoveTray"), 6);
  EXPECT_FALSE(Running(tray));
  EXPECT_FALSE(Exists(kTrayPath));
  EXPECT_EQ(RunValue(), nullptr);
}

}  // namespace
