#include "shell/log_window.h"

#include <string>

#include "shell/module_instance.h"
#include "shell/resource.h"
#include "shell/run_log.h"
#include "test_support.h"

namespace {

using winsim::DialogAction;

class LogWindowTest : public MachineTest {
 protected:
  const winsim::DialogRecord& OnlyDialog() {
    EXPECT_EQ(machine().desktop.dialogs.size(), 1u);
    return machine().desktop.dialogs.at(0);
  }
  std::string Text(const winsim::DialogRecord& dialog) { return winsim::Narrow(dialog.items.at(IDC_LOG_TEXT)); }
};

TEST_F(LogWindowTest, ARunWithAnErrorLineShowsTheWholeLogUnderAnErrorTitle) {
  machine().FailNext("GetSystemDirectoryW", ERROR_ACCESS_DENIED);
  EXPECT_EQ(Run(u"install"), 100);
  const auto& dialog = OnlyDialog();
  EXPECT_EQ(dialog.resource, IDD_LOG_WINDOW);
  EXPECT_EQ(winsim::Narrow(dialog.title), "Ravelquill build 2446- Install error log!");
  const std::string text = Text(dialog);
  EXPECT_EQ(text.rfind("Ravelquill 2446\r\n>Check Spooler\r\n", 0), 0u) << text;
  EXPECT_NE(text.find("Error(7): Can`t retrieve system directory. - (Access is denied.)\r\n"), std::string::npos);
  EXPECT_EQ(text.find(">>0020"), std::string::npos);  // written after the window closed
  EXPECT_EQ(dialog.owner, nullptr);
}

TEST_F(LogWindowTest, EveryWayOfClosingEndsTheDialogAndKeepsTheExitCode) {
  struct Case {
    DialogAction action;
    INT_PTR result;
  } cases[] = {{DialogAction::CloseButton, 1},
               {DialogAction::Enter, 1},
               {DialogAction::Escape, 0},
               {DialogAction::CaptionClose, 0}};
  for (const Case& c : cases) {
    machine().desktop.dialogs.clear();
    machine().desktop.script = {c.action};
    machine().FailNext("GetSystemDirectoryW", ERROR_ACCESS_DENIED);
    EXPECT_EQ(Run(u"un"), 100);
    const auto& dialog = OnlyDialog();
    EXPECT_EQ(dialog.actions, std::vector<DialogAction>{c.action});
    EXPECT_EQ(dialog.result, c.result);
  }
}

TEST_F(LogWindowTest, OtherCommandsLeaveTheDialogOpen) {
  InstallContext context{};
  LogLine(context, TEXT("line"));
  const HWND window = machine().desktop.CreateWindow(u"#32770", u"");
  machine().desktop.Find(window)->items[IDC_LOG_TEXT] = u"";
  LogWindowProc(window, WM_INITDIALOG, 0, reinterpret_cast<LPARAM>(&context));
  EXPECT_EQ(winsim::Narrow(machine().desktop.Find(window)->items[IDC_LOG_TEXT]), "line\r\n");
  EXPECT_EQ(LogWindowProc(window, WM_COMMAND, MAKEWPARAM(1001, 0x0100), 0), 0);  // EN_SETFOCUS from the text box
  EXPECT_EQ(LogWindowProc(window, WM_CLOSE, 0, 0), 0);                           // left to the dialog manager
  FreeContext(context);
}

TEST_F(LogWindowTest, TheWindowIsOwnedByTheWindowNamedOnTheCommandLine) {
  const HWND setup = machine().desktop.CreateWindow(u"SetupWindow", u"Setup");
  const std::u16string handle = winsim::Widen(std::to_string(reinterpret_cast<LONG_PTR>(setup)));
  machine().desktop.shiftDown = true;
  Run(u"in " + handle);
  Run(u"in " + handle + u" extra");  // four elements: the handle is not read
  Run(u"in 4242");                   // names no window
  ASSERT_EQ(machine().desktop.dialogs.size(), 3u);
  EXPECT_EQ(machine().desktop.dialogs[0].owner, setup);
  EXPECT_EQ(machine().desktop.dialogs[1].owner, nullptr);
  EXPECT_EQ(machine().desktop.dialogs[2].owner, nullptr);
}

TEST_F(LogWindowTest, AnEmptyLogIsShownAsEmptyText) {
  ModuleInstance = winsim::ProgramInstance();
  InstallContext context{};
  context.ErrorCount = 1;
  ShowLogWindowIfNeeded(context, nullptr);
  EXPECT_EQ(Text(OnlyDialog()), "");
  EXPECT_EQ(winsim::Narrow(OnlyDialog().title), "Ravelquill build 2446- Install error log!");
}

// The log is shown only where someone can see it: without a display the
// dialog cannot open, in a window station no one sees (a service's) it is
// not tried. The log and the exit code stay as they are either way.
TEST_F(LogWindowTest, TheLogIsShownOnlyWhereSomeoneCanSeeIt) {
  const struct {
    bool hasDisplay, stationVisible, shown;
  } cases[] = {{true, true, true}, {false, true, false}, {true, false, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.hasDisplay) + std::to_string(c.stationVisible));
    NextMachine();
    machine().desktop.hasDisplay = c.hasDisplay;
    machine().desktop.station.visible = c.stationVisible;
    ModuleInstance = winsim::ProgramInstance();
    InstallContext context{};
    LogError(context, ErrorStartSpooler);
    const std::string log = Utf8(context.LogText);
    ShowLogWindowIfNeeded(context, nullptr);
    EXPECT_EQ(Utf8(context.LogText), log);
    EXPECT_EQ(context.ErrorCount, 1);
    EXPECT_EQ(machine().desktop.dialogs.empty() ? "" : Text(OnlyDialog()), c.shown ? log : "");
    FreeContext(context);

    machine().desktop.dialogs.clear();
    machine().FailNext("GetSystemDirectoryW", ERROR_ACCESS_DENIED);
    EXPECT_EQ(Run(u"in"), 100);
    EXPECT_EQ(machine().desktop.dialogs.size(), c.shown ? 1u : 0u);
  }
}

}  // namespace
