// The simulated desktop: programs started by CreateProcessW hold their mutex
// and window as their profile says, and answer posted messages on the
// virtual clock; the installer's waits see them go.
#include <windows.h>

#include <string>

#include "test_support.h"

namespace {

using winsim::presets::kTrayPath;

class WinsimDesktopTest : public MachineTest {
 protected:
  // Starts `commandLine` (or the application `application`); its handles
  // are closed before the next row or at the end of the test.
  DWORD Start(std::u16string line, LPCWSTR application = nullptr) {
    STARTUPINFOW startup = {sizeof(startup)};
    if (!CreateProcessW(application, line.empty() ? nullptr : &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started_)) {
      return 0;
    }
    opened_.insert(opened_.end(), {started_.hThread, started_.hProcess});
    return started_.dwProcessId;
  }
  DWORD StartTray() { return Start(u"\"" + std::u16string(kTrayPath) + u"\""); }
  DWORD ExitCode() {
    DWORD code = 99;
    EXPECT_TRUE(GetExitCodeProcess(started_.hProcess, &code));
    return code;
  }
  void CloseAll() {
    for (HANDLE handle : opened_) CloseHandle(handle);
    opened_.clear();
  }
  ~WinsimDesktopTest() override { CloseAll(); }
  PROCESS_INFORMATION started_{};
  std::vector<HANDLE> opened_;
};

// A program holds its window (the tray also its mutex) until its profile
// makes it answer a posted message; the tray then releases the mutex, not
// abandons it, and exits with 0.
TEST_F(WinsimDesktopTest, ProgramsAnswerMessagesAsTheirProfileSays) {
  const struct {
    const char16_t* program;
    void (*shape)(winsim::ProgramProfile&);
    UINT message;
    WPARAM wParam;
    DWORD endsAfterMs;  // INFINITE: it stays
  } cases[] = {
      {u"ravtray.exe", [](winsim::ProgramProfile&) {}, 1026, 0, 200},
      {u"ravtray.exe", [](winsim::ProgramProfile&) {}, 1026, 1, INFINITE},
      {u"ravtray.exe", [](winsim::ProgramProfile&) {}, WM_SYSCOMMAND, SC_CLOSE, 200},
      {u"ravtray.exe", [](winsim::ProgramProfile&) {}, WM_SYSCOMMAND, 0xF020, INFINITE},
      {u"ravtray.exe", [](winsim::ProgramProfile& p) { p.quitDelayMs = 4000; }, 1026, 0, 4000},
      {u"ravtray.exe", [](winsim::ProgramProfile& p) { p.deaf = true; }, 1026, 0, INFINITE},
      {u"ravtray.exe", [](winsim::ProgramProfile& p) { p.neverCloses = true; }, WM_CLOSE, 0, INFINITE},
      {u"ravtray.exe", [](winsim::ProgramProfile& p) { p.neverCloses = true; }, 1026, 0, 200},
      {u"hh.exe", [](winsim::ProgramProfile&) {}, WM_SYSCOMMAND, SC_CLOSE, 0},
      {u"hh.exe", [](winsim::ProgramProfile&) {}, 0, 0, INFINITE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << &c - cases);
    CloseAll();
    Fresh();
    c.shape(Profile(c.program));
    const bool tray = std::u16string(c.program) == u"ravtray.exe";
    ASSERT_NE(tray ? StartTray() : Start(u"hh.exe C:\\help.chm"), 0u) << GetLastError();
    const HWND window =
        tray ? FindWindowW(winsim::presets::kTrayWindowClass, nullptr) : FindWindowW(nullptr, u"RAVELQUILL HELP");
    DWORD owner = 0;
    EXPECT_EQ(GetWindowThreadProcessId(window, &owner), started_.dwThreadId);
    EXPECT_EQ(owner, started_.dwProcessId);
    HANDLE mutex = tray ? OpenMutexW(SYNCHRONIZE, FALSE, winsim::presets::kTrayMutex) : started_.hProcess;
    if (tray) opened_.push_back(mutex);
    EXPECT_EQ(WaitForSingleObject(mutex, 50), static_cast<DWORD>(WAIT_TIMEOUT));
    ASSERT_TRUE(PostMessageW(window, c.message, c.wParam, 0));
    EXPECT_TRUE(IsWindow(window)) << "posting does not wait for the program";
    const std::uint64_t posted = machine().clock.now;
    const bool ends = c.endsAfterMs != INFINITE;
    EXPECT_EQ(WaitForSingleObject(mutex, 10000), static_cast<DWORD>(ends ? WAIT_OBJECT_0 : WAIT_TIMEOUT));
    EXPECT_EQ(IsWindow(window), !ends);
    EXPECT_EQ(ExitCode(), ends ? 0u : static_cast<DWORD>(STILL_ACTIVE));
    if (ends) EXPECT_EQ(machine().clock.now - posted, c.endsAfterMs) << "the wait ends when the program does";
    if (ends && tray) EXPECT_TRUE(ReleaseMutex(mutex));
    TerminateProcess(started_.hProcess, 1);
  }
}

// A second tray finds the mutex and leaves at once without a window; so
// does one started while an abandoned mutex is still named by a handle.
TEST_F(WinsimDesktopTest, SecondTrayLeavesWhileTheMutexIsNamed) {
  ASSERT_NE(StartTray(), 0u);
  const HANDLE first = started_.hProcess;
  ASSERT_NE(StartTray(), 0u);
  EXPECT_EQ(ExitCode(), 0u);
  EXPECT_EQ(machine().desktop.windows.size(), 1u);
  HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, winsim::presets::kTrayMutex);
  TerminateProcess(first, 1);
  ASSERT_NE(StartTray(), 0u);
  EXPECT_EQ(ExitCode(), 0u);
  CloseHandle(mutex);
  ASSERT_NE(StartTray(), 0u);
  EXPECT_EQ(ExitCode(), static_cast<DWORD>(STILL_ACTIVE));
}

TEST_F(WinsimDesktopTest, CreateProcessReadsTheProgramFromTheCommandLineAsWindowsDoes) {
  const struct {
    LPCWSTR application;
    std::u16string commandLine;
    std::u16string image;  // empty: fails with ERROR_ACCESS_DENIED
  } cases[] = {
      {nullptr, u"\"C:\\Program Files\\Ravelquill\\ravtray.exe\" /quiet", kTrayPath},
      {nullptr, u"C:\\Program Files\\Ravelquill\\ravtray.exe /quiet", kTrayPath},
      {nullptr, u"\"C:\\Program Files\\Ravelquill\\ravtray\"", kTrayPath},
      {nullptr, u"hh.exe C:\\help.chm", u"C:\\Windows\\hh.exe"},
      {kTrayPath, u"", kTrayPath},
      {u"C:\\Program Files\\Ravelquill", u"", u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf8(c.commandLine.empty() ? c.application : c.commandLine.c_str()));
    const DWORD id = Start(c.commandLine, c.application);
    if (c.image.empty()) {
      EXPECT_EQ(id, 0u);
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
      continue;
    }
    ASSERT_NE(id, 0u) << GetLastError();
    EXPECT_EQ(machine().processes.at(id).image, c.image);
    EXPECT_EQ(machine().processes.at(id).commandLine, c.commandLine.empty() ? c.image : c.commandLine);
    TerminateProcess(started_.hProcess, 1);
  }
}

TEST_F(WinsimDesktopTest, WaitWithoutEndThatNothingCanSatisfyHangsTheProgram) {
  ASSERT_NE(StartTray(), 0u);
  HANDLE tray = started_.hProcess;
  EXPECT_EQ(RunCode([tray] { WaitForSingleObject(tray, INFINITE); }), std::optional<UINT>(1));
  machine().Caller().handlesLeftOpen = 0;  // a hung program leaves its handles to the system
}

}  // namespace
