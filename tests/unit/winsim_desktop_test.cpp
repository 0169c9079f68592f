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
  // Starts `commandLine` (or the application `application`); the handles
  // are closed at the end of the test.
  DWORD Start(const std::u16string& commandLine, LPCWSTR application = nullptr) {
    std::u16string line = commandLine;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process;
    SetLastError(kPoisonError);
    if (!CreateProcessW(application, line.empty() ? nullptr : &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
      return 0;
    }
    opened_.push_back(process.hThread);
    opened_.push_back(process.hProcess);
    started_ = process;
    return process.dwProcessId;
  }
  DWORD StartTray() { return Start(u"\"" + std::u16string(kTrayPath) + u"\""); }
  HANDLE Mutex(const char16_t* name) {
    HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, name);
    opened_.push_back(mutex);
    return mutex;
  }
  // A fresh product machine for the next row of a table.
  void Fresh() {
    winsim::SetCurrent(winsim::presets::ProductMachine());
    opened_.clear();
  }
  ~WinsimDesktopTest() override {
    for (HANDLE handle : opened_) {
      if (handle != nullptr) CloseHandle(handle);
    }
  }
  PROCESS_INFORMATION started_{};

 private:
  std::vector<HANDLE> opened_;
};

const std::u16string kTrayClass = winsim::presets::kTrayWindowClass;

// A program started holds its window (and the tray its mutex) until its
// profile makes it answer a posted message; the tray then releases the
// mutex, not abandons it, and exits with 0.
TEST_F(WinsimDesktopTest, ProgramsAnswerMessagesAsTheirProfileSays) {
  const struct {
    const char* row;
    const char16_t* program;
    void (*shape)(winsim::ProgramProfile&);
    UINT message;
    WPARAM wParam;
    DWORD endsAfterMs;  // INFINITE: it stays
  } cases[] = {
      {"quit message", u"ravtray.exe", [](winsim::ProgramProfile&) {}, 1026, 0, 200},
      {"quit message with a parameter", u"ravtray.exe", [](winsim::ProgramProfile&) {}, 1026, 1, INFINITE},
      {"close command", u"ravtray.exe", [](winsim::ProgramProfile&) {}, WM_SYSCOMMAND, SC_CLOSE, 200},
      {"other command", u"ravtray.exe", [](winsim::ProgramProfile&) {}, WM_SYSCOMMAND, 0xF020, INFINITE},
      {"slow", u"ravtray.exe", [](winsim::ProgramProfile& p) { p.quitDelayMs = 4000; }, 1026, 0, 4000},
      {"deaf", u"ravtray.exe", [](winsim::ProgramProfile& p) { p.deaf = true; }, 1026, 0, INFINITE},
      {"never closes: close", u"ravtray.exe", [](winsim::ProgramProfile& p) { p.neverCloses = true; }, WM_CLOSE, 0,
       INFINITE},
      {"never closes: quit", u"ravtray.exe", [](winsim::ProgramProfile& p) { p.neverCloses = true; }, 1026, 0, 200},
      {"help viewer: close command", u"hh.exe", [](winsim::ProgramProfile&) {}, WM_SYSCOMMAND, SC_CLOSE, 0},
      {"help viewer never closes", u"hh.exe", [](winsim::ProgramProfile& p) { p.neverCloses = true; }, WM_CLOSE, 0,
       INFINITE},
      {"help viewer: no quit message", u"hh.exe", [](winsim::ProgramProfile&) {}, 0, 0, INFINITE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.row);
    Fresh();
    c.shape(Profile(c.program));
    const bool tray = std::u16string(c.program) == u"ravtray.exe";
    ASSERT_NE(tray ? StartTray() : Start(u"hh.exe C:\\help.chm"), 0u) << GetLastError();
    const HWND window = tray ? FindWindowW(kTrayClass.c_str(), nullptr) : FindWindowW(nullptr, u"RAVELQUILL HELP");
    ASSERT_NE(window, nullptr);
    DWORD owner = 0;
    EXPECT_EQ(GetWindowThreadProcessId(window, &owner), started_.dwThreadId);
    EXPECT_EQ(owner, started_.dwProcessId);
    HANDLE mutex = tray ? Mutex(winsim::presets::kTrayMutex) : started_.hProcess;
    EXPECT_EQ(WaitForSingleObject(mutex, 50), static_cast<DWORD>(WAIT_TIMEOUT));
    ASSERT_TRUE(PostMessageW(window, c.message, c.wParam, 0));
    EXPECT_TRUE(IsWindow(window)) << "posting does not wait for the program";
    const std::uint64_t posted = machine().clock.now;
    const DWORD waited = WaitForSingleObject(mutex, 10000);
    DWORD code = 99;
    EXPECT_TRUE(GetExitCodeProcess(started_.hProcess, &code));
    if (c.endsAfterMs == INFINITE) {
      EXPECT_EQ(waited, static_cast<DWORD>(WAIT_TIMEOUT));
      EXPECT_TRUE(IsWindow(window));
      EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
    } else {
      EXPECT_EQ(waited, static_cast<DWORD>(WAIT_OBJECT_0)) << "released, not abandoned";
      EXPECT_EQ(machine().clock.now - posted, c.endsAfterMs) << "the wait ends when the program does";
      EXPECT_FALSE(IsWindow(window));
      EXPECT_EQ(code, 0u);
      if (tray) EXPECT_TRUE(ReleaseMutex(mutex));
      SetLastError(kPoisonError);
      EXPECT_EQ(FindWindowW(kTrayClass.c_str(), nullptr), nullptr);
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    }
    TerminateProcess(started_.hProcess, 1);
  }
}

TEST_F(WinsimDesktopTest, SecondTrayFindsTheMutexAndLeavesAtOnceWithoutAWindow) {
  ASSERT_NE(StartTray(), 0u);
  const HANDLE first = started_.hProcess;
  ASSERT_NE(StartTray(), 0u);
  DWORD code = 99;
  EXPECT_TRUE(GetExitCodeProcess(started_.hProcess, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(GetExitCodeProcess(first, &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(machine().desktop.windows.size(), 1u);

  // A mutex that the tray abandoned, still named by the installer, keeps
  // the tray away; once no handle names it, it is gone.
  HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, winsim::presets::kTrayMutex);
  TerminateProcess(first, 1);
  ASSERT_NE(StartTray(), 0u);
  EXPECT_TRUE(GetExitCodeProcess(started_.hProcess, &code));
  EXPECT_EQ(code, 0u);
  CloseHandle(mutex);
  ASSERT_NE(StartTray(), 0u);
  EXPECT_TRUE(GetExitCodeProcess(started_.hProcess, &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
}

TEST_F(WinsimDesktopTest, CreateProcessReadsTheProgramFromTheCommandLineAsWindowsDoes) {
  const struct {
    const char* row;
    LPCWSTR application;
    std::u16string commandLine;
    std::u16string image;  // empty: fails with `error`
    DWORD error;
  } cases[] = {
      {"quoted", nullptr, u"\"C:\\Program Files\\Ravelquill\\ravtray.exe\" /quiet", kTrayPath, 0},
      {"unquoted with a space", nullptr, u"C:\\Program Files\\Ravelquill\\ravtray.exe /quiet", kTrayPath, 0},
      {"no extension", nullptr, u"\"C:\\Program Files\\Ravelquill\\ravtray\"", kTrayPath, 0},
      {"bare name in the Windows directory", nullptr, u"hh.exe C:\\help.chm", u"C:\\Windows\\hh.exe", 0},
      {"application name", kTrayPath, u"", kTrayPath, 0},
      {"directory", u"C:\\Program Files\\Ravelquill", u"", u"", ERROR_ACCESS_DENIED},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.row);
    const DWORD id = Start(c.commandLine, c.application);
    if (c.image.empty()) {
      EXPECT_EQ(id, 0u);
      EXPECT_EQ(GetLastError(), c.error);
      continue;
    }
    ASSERT_NE(id, 0u) << GetLastError();
    EXPECT_EQ(Utf8(machine().processes.at(id).image.c_str()), Utf8(c.image.c_str()));
    EXPECT_EQ(machine().processes.at(id).commandLine, c.commandLine.empty() ? c.image : c.commandLine);
    TerminateProcess(started_.hProcess, 1);
  }
}

TEST_F(WinsimDesktopTest, WaitWithoutEndThatNothingCanSatisfyHangsTheProgram) {
  ASSERT_NE(StartTray(), 0u);
  HANDLE tray = started_.hProcess;
  EXPECT_EQ(RunCode([tray] { WaitForSingleObject(tray, INFINITE); }), std::optional<UINT>(1));
  EXPECT_FALSE(machine().Caller().running);
  machine().Caller().handlesLeftOpen = 0;  // a hung program leaves its handles to the system
}

}  // namespace
