// The tray companion and the help window on the virtual clock: how long each
// operation waits for programs that quit, dawdle or never answer.
#include <functional>
#include <string>

#include "test_support.h"
#include "tray/help_window.h"
#include "tray/tray_companion.h"

namespace {

using winsim::presets::kTrayPath;
const std::u16string kRunKey = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::u16string kHelpViewer = u"C:\\Windows\\hh.exe", kBin = u"C:\\Program Files\\Ravelquill\\bin\\";
const std::u16string kLongDir = u"C:\\" + std::u16string(300, u'd'), kLongPath = kLongDir + u"\\ravtray.exe";

template <typename Case>
class TrayTest : public ContextTest, public ::testing::WithParamInterface<Case> {
 protected:
  DWORD Start(const std::u16string& image) {
    return winsim::StartProcess(machine(), winsim::ProgramKind::Program, image);
  }
  bool Exists(const std::u16string& path) { return machine().files.Find(path) != nullptr; }
  const winsim::RegistryValue* RunValue() { return machine().registry.FindValue(kRunKey, u"RavelquillTray"); }
  void SetRunValue(DWORD type, const std::u16string& text, bool terminated = true) {
    const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    machine().registry.SetValue(kRunKey, u"RavelquillTray", type, {bytes, bytes + 2 * (text.size() + terminated)});
  }
  std::uint64_t VirtualMs(const std::function<void()>& body) {
    const std::uint64_t start = machine().clock.now;
    body();
    return machine().clock.now - start;
  }
};
const auto kName = [](const auto& info) { return std::string(info.param.name); };

struct StopCase {
  const char* name;
  bool running, deaf, windowless, runValue;
  DWORD quitDelayMs;
  std::uint64_t ms;  // virtual time the stop takes
  bool trayLeft;     // still running, so its file stays
};
using StopTest = TrayTest<StopCase>;
// A running program's file refuses deletion (5): 10 tries, 100 ms apart.
const StopCase kStopCases[] = {
    {"NotRunning", false, false, false, true, 200, 0, false},
    {"NotRunningNoRunValue", false, false, false, false, 200, 1000, false},
    {"Quits", true, false, false, true, 200, 200, false},
    {"SlowerThanOneWait", true, false, false, true, 7000, 7000, false},
    {"Deaf", true, true, false, true, 200, 21 * 5000 + 900, true},
    {"Windowless", true, false, true, true, 200, 20 * 250 + 900, true},
};
INSTANTIATE_TEST_SUITE_P(Tray, StopTest, ::testing::ValuesIn(kStopCases), kName);

TEST_P(StopTest, WaitsBoundedForTheTrayProgramThenRemovesItsFileAndRunValue) {
  const StopCase& c = GetParam();
  winsim::ProgramProfile& tray = Profile(u"ravtray.exe");
  tray.deaf = c.deaf;
  tray.windowless = c.windowless;
  tray.quitDelayMs = c.quitDelayMs;
  const DWORD id = c.running ? Start(kTrayPath) : 0;
  if (c.runValue) SetRunValue(REG_SZ, kTrayPath);
  EXPECT_EQ(VirtualMs(StopTrayCompanion), c.ms);
  EXPECT_EQ(id != 0 && machine().FindProcess(id)->running, c.trayLeft);
  EXPECT_EQ(Exists(kTrayPath), c.trayLeft || !c.runValue);
  EXPECT_EQ(RunValue(), nullptr);
  EXPECT_EQ(machine().mutexes.count(winsim::presets::kTrayMutex), c.trayLeft ? 1u : 0u);
}

TEST_F(StopTest, GivesBackTheMutexItTookOverFromTheTrayProgram) {
  Start(kTrayPath);
  // Another program's handle keeps the mutex alive after the installer's closes.
  machine().handles.Add({winsim::HandleKind::Mutex, winsim::kSystemProcess, winsim::presets::kTrayMutex});
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
using RunValueTest = TrayTest<ValueCase>;
const ValueCase kValueCases[] = {
    {"Plain", REG_SZ, kTrayPath, true, false, 0, false},
    {"StoredWithoutTerminator", REG_SZ, kTrayPath, false, false, 0, false},
    {"Empty", REG_SZ, u"", true, false, 0, true},
    {"LongerThanTheBuffer", REG_SZ, std::u16string(300, u'x'), true, false, 1000, true},
    {"NotAString", REG_DWORD, u"ab", false, false, 1000, true},
    {"AnotherProgram", REG_SZ, kHelpViewer, true, false, 0, true},
    {"MissingFile", REG_SZ, u"C:\\Windows\\ravtray.exe", true, false, 0, true},
    {"SharingViolation", REG_SZ, kTrayPath, true, true, 9 * 10, true},
};
INSTANTIATE_TEST_SUITE_P(Tray, RunValueTest, ::testing::ValuesIn(kValueCases), kName);

TEST_P(RunValueTest, DeletesOnlyATrayProgramFileThatTheValueNames) {
  const ValueCase& c = GetParam();
  SetRunValue(c.type, c.text, c.terminated);
  if (c.locked) winsim::LockFile(machine(), kTrayPath);
  EXPECT_EQ(VirtualMs(StopTrayCompanion), c.ms);
  EXPECT_EQ(Exists(kTrayPath), c.trayFileLeft);
  EXPECT_TRUE(Exists(kHelpViewer));
  EXPECT_EQ(RunValue(), nullptr);
}

struct StartCase {
  const char* name;
  std::u16string installDir;
  BYTE registerTray;
  DWORD major;
  bool runKeyFails;
  const char16_t* runValue;  // null: none written
  bool started;
};
using StartTest = TrayTest<StartCase>;
const StartCase kStartCases[] = {
    {"ProductLayout", kBin, 1, 6, false, kTrayPath, true},
    {"NoTray", kBin, 0, 6, false, nullptr, false},
    {"WindowsXP", kBin, 1, 5, false, nullptr, false},
    {"RunKeyRefused", kBin, 1, 6, true, nullptr, true},
    {"DriveRoot", u"C:\\", 1, 6, false, u"ravtray.exe", false},
    {"SlashAfterTheLastBackslash", u"C:\\a/b\\", 1, 6, false, u"C:\\ravtray.exe", false},
    {"OnlySlashes", u"C:/a/b/", 1, 6, false, u"C:/a\\ravtray.exe", false},
    {"LongPathCutInTheCommandLineOnly", kLongDir + u"\\bin\\", 1, 10, false, kLongPath.c_str(), false},
};
INSTANTIATE_TEST_SUITE_P(Tray, StartTest, ::testing::ValuesIn(kStartCases), kName);

TEST_P(StartTest, RegistersAndStartsTheTrayProgramFromTheParentDirectory) {
  const StartCase& c = GetParam();
  TextAssign(context.InstallDir, c.installDir.c_str());
  context.RegisterTray = c.registerTray;
  machine().version.major = c.major;
  if (c.runKeyFails) machine().FailNext("RegOpenKeyExW", ERROR_ACCESS_DENIED);
  EXPECT_EQ(VirtualMs([this] { StartTrayCompanion(context); }), 0u);
  const winsim::RegistryValue* value = RunValue();
  ASSERT_EQ(value != nullptr, c.runValue != nullptr);
  if (value != nullptr) {
    EXPECT_EQ(value->type, static_cast<DWORD>(REG_SZ));
    const std::u16string stored(reinterpret_cast<const char16_t*>(value->data.data()), value->data.size() / 2);
    EXPECT_EQ(stored, c.runValue + std::u16string(1, u'\0')) << "unquoted, terminator counted";
  }
  EXPECT_EQ(FindWindowW(winsim::presets::kTrayWindowClass, nullptr) != nullptr, c.started);
}

struct HelpCase {
  const char* name;
  int windows;
  bool neverCloses;
  std::uint64_t ms;
  std::size_t left;
};
using HelpTest = TrayTest<HelpCase>;
const HelpCase kHelpCases[] = {
    {"None", 0, false, 0, 0}, {"One", 1, false, 50, 0}, {"Two", 2, false, 100, 0}, {"NeverCloses", 1, true, 5000, 1}};
INSTANTIATE_TEST_SUITE_P(Tray, HelpTest, ::testing::ValuesIn(kHelpCases), kName);

TEST_P(HelpTest, ClosesEveryProductHelpWindowButGivesUpAfterFiveSeconds) {
  const HelpCase& c = GetParam();
  Profile(u"hh.exe").neverCloses = c.neverCloses;
  for (int i = 0; i < c.windows; ++i) Start(kHelpViewer);
  machine().desktop.CreateWindow(u"HH Parent", u"Windows Help");  // not the product's
  EXPECT_EQ(VirtualMs(CloseHelpWindow), c.ms);
  EXPECT_EQ(machine().desktop.windows.size(), c.left + 1);
}

TEST_F(StopTest, RemoveTrayCommandStopsTheTrayAndExitsWithSix) {
  const DWORD tray = Start(kTrayPath);
  SetRunValue(REG_SZ, kTrayPath);
  EXPECT_EQ(Run(u"removetrays"), 6);
  EXPECT_TRUE(machine().FindProcess(tray)->running) << "not the command";
  EXPECT_EQ(Run(u"RemoveTray"), 6);
  EXPECT_FALSE(machine().FindProcess(tray)->running);
  EXPECT_FALSE(Exists(kTrayPath));
  EXPECT_EQ(RunValue(), nullptr);
}

}  // namespace
