// Windows, dialogs and input of the simulated desktop.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <windows.h>

namespace winsim {

struct Window {
  std::u16string className;
  std::u16string title;
  HWND owner = nullptr;
  std::map<int, std::u16string> items;  // dialog controls by identifier: their text
  DWORD process = 0;                    // the process that made it; it goes when that process ends
};

// A modal loop in progress: DialogBoxParamW runs it until EndDialog.
struct ModalLoop {
  HWND hwnd = nullptr;
  bool ended = false;
  INT_PTR result = 0;
};

// What the user does with a modal dialog, and what the dialog manager makes
// of it: the Close button and Enter send IDOK, Escape and the caption's close
// box IDCANCEL (the close box through WM_CLOSE).
enum class DialogAction { CloseButton, Enter, Escape, CaptionClose };

// One modal dialog as it was shown, read when the user acted on it.
struct DialogRecord {
  int resource = 0;
  HWND owner = nullptr;
  std::u16string title;
  std::map<int, std::u16string> items;
  std::vector<DialogAction> actions;  // what the user did, in order
  INT_PTR result = 0;
};

// The window station the program runs in. A logged-on user's programs run
// in the interactive "WinSta0", which someone can see; a service's (a setup
// that a deployment tool runs as SYSTEM) in one that is not visible.
struct WindowStation {
  std::u16string name = u"WinSta0";
  bool visible = true;
};

// The handle GetProcessWindowStation gives: Windows opens it for the process
// when it starts, and the process does not close it, so it is no entry of the
// handle table.
constexpr std::uintptr_t kProcessStationHandle = 0x40;

struct Desktop {
  WindowStation station;
  std::map<HWND, Window> windows;
  std::uintptr_t nextHandle = 0x10010;
  bool hasDisplay = true;  // without one, windows cannot be created (1400)
  bool shiftDown = false;
  // Dialog resources of the running program: identifier -> control identifiers.
  std::map<int, std::vector<int>> dialogResources = {{101, {IDOK, 1001}}};
  // The user's next actions on modal dialogs, consumed in order; with none
  // left, the user presses the default button.
  std::vector<DialogAction> script;
  std::vector<DialogRecord> dialogs;
  std::vector<ModalLoop> modal;  // innermost last

  HWND CreateWindow(const std::u16string& className, const std::u16string& title, HWND owner = nullptr,
                    DWORD process = 0);
  Window* Find(HWND hwnd);
  ModalLoop* FindModal(HWND hwnd);
  // The first top-level window, in creation order, of the class and title
  // given (null matches any; both compared without regard to case), as
  // FindWindowW looks.
  HWND FindTopLevel(const std::u16string* className, const std::u16string* title) const;
};

}  // namespace winsim
