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

class TrayTest : public ContextTest {
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

// A running program's file refuses deletion (5): 10 tries, 100 ms apart.
TEST_F(TrayTest, StopWaitsBoundedForTheTrayProgramThenRemovesItsFileAndRunValue) {
  const struct {
    const char* name;
    bool running, deaf, windowless, runValue;
    DWORD quitDelayMs;
    std::uint64_t ms;  // virtual time the stop takes
    bool trayLeft;     // still running, so its file and mutex stay
  } cases[] = {
      {"NotRunning", false, false, false, true, 200, 0, false},
      {"NotRunningNoRunValue", false, false, false, false, 200, 1000, false},
      {"Quits", true, false, false, true, 200, 200, false},
      {"SlowerThanOneWait", true, false, false, true, 7000, 7000, false},
      {"Deaf", true, true, false, true, 200, 21 * 5000 + 900, true},
      {"Windowless", true, false, true, true, 200, 20 * 250 + 900, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FreshRun();
    winsim::ProgramProfile& tray = Profile(u"ravtray.exe");
    tray.deaf = c.deaf, tray.windowless = c.windowless, tray.quitDelayMs = c.quitDelayMs;
    const DWORD id = c.running ? Start(kTrayPath) : 0;
    if (c.runValue) SetRunValue(REG_SZ, kTrayPath);
    EXPECT_EQ(VirtualMs(StopTrayCompanion), c.ms);
    EXPECT_EQ(id != 0 && machine().FindProcess(id)->running, c.trayLeft);
    EXPECT_EQ(Exists(kTrayPath), c.trayLeft || !c.runValue);
    EXPECT_EQ(RunValue(), nullptr);
    EXPECT_EQ(machine().mutexes.count(winsim::presets::kTrayMutex), c.trayLeft ? 1u : 0u);
  }
}

TEST_F(TrayTest, StopGivesBackTheMutexItTookOverFromTheTrayProgram) {
  Start(kTrayPath);
  // Another program's handle keeps the mutex alive after the installer's closes.
  machine().handles.Add({winsim::HandleKind::Mutex, winsim::kSystemProcess, winsim::presets::kTrayMutex});
  StopTrayCompanion();
  EXPECT_EQ(machine().mutexes.at(winsim::presets::kTrayMutex).owner, 0u) << "a new tray program can take it";
}

// Only a tray program file that the value names is deleted.
TEST_F(TrayTest, StopReadsTheRunValueWithCare) {
  const struct {
    const char* name;
    DWORD type;
    std::u16string text;
    bool terminated, locked;
    std::uint64_t ms;
    bool trayFileLeft;
  } cases[] = {
      {"StoredWithoutTerminator", REG_SZ, kTrayPath, false, false, 0, false},
      {"NotAString", REG_DWORD, u"ab", false, false, 1000, true},
      {"SharingViolation", REG_SZ, kTrayPath, true, true, 9 * 10, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FreshRun();
    SetRunValue(c.type, c.text, c.terminated);
    if (c.locked) winsim::LockFile(machine(), kTrayPath);
    EXPECT_EQ(VirtualMs(StopTrayCompanion), c.ms);
    EXPECT_EQ(Exists(kTrayPath), c.trayFileLeft);
    EXPECT_EQ(RunValue(), nullptr);
  }
}

// The Run value is unquoted with its terminator counted; the program is
// started from the install directory's parent.
TEST_F(TrayTest, StartRegistersAndStartsTheTrayProgramFromTheParentDirectory) {
  const struct {
    const char* name;
    std::u16string installDir;
    DWORD major;
    bool runKeyFails;
    const char16_t* runValue;  // null: none written
    bool started;
  } cases[] = {
      {"ProductLayout", kBin, 6, false, kTrayPath, true},
      {"WindowsXP", kBin, 5, false, nullptr, false},
      {"RunKeyRefused", kBin, 6, true, nullptr, true},
      {"SlashAfterTheLastBackslash", u"C:\\a/b\\", 6, false, u"C:\\ravtray.exe", false},
      {"LongPathCutInTheCommandLineOnly", kLongDir + u"\\bin\\", 10, false, kLongPath.c_str(), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FreshRun();
    TextAssign(context.InstallDir, c.installDir.c_str());
    context.RegisterTray = 1;
    machine().version.major = c.major;
    if (c.runKeyFails) machine().FailNext("RegOpenKeyExW", ERROR_ACCESS_DENIED);
    EXPECT_EQ(VirtualMs([this] { StartTrayCompanion(context); }), 0u);
    const winsim::RegistryValue* value = RunValue();
    ASSERT_EQ(value != nullptr, c.runValue != nullptr);
    if (value != nullptr) {
      EXPECT_EQ(value->type, static_cast<DWORD>(REG_SZ));
      const std::u16string stored(reinterpret_cast<const char16_t*>(value->data.data()), value->data.size() / 2);
      EXPECT_EQ(stored, c.runValue + std::u16string(1, u'\0'));
    }
    EXPECT_EQ(FindWindowW(winsim::presets::kTrayWindowClass, nullptr) != nullptr, c.started);
  }
}

TEST_F(TrayTest, CloseHelpClosesEveryProductHelpWindowButGivesUpAfterFiveSeconds) {
  for (const bool neverCloses : {false, true}) {
    FreshRun();
    Profile(u"hh.exe").neverCloses = neverCloses;
    for (int i = neverCloses ? 1 : 2; i > 0; --i) Start(kHelpViewer);
    machine().desktop.CreateWindow(u"HH Parent", u"Windows Help");  // not the product's
    EXPECT_EQ(VirtualMs(CloseHelpWindow), neverCloses ? 5000u : 100u);
    EXPECT_EQ(machine().desktop.windows.size(), neverCloses ? 2u : 1u);
  }
}

}  // namespace
