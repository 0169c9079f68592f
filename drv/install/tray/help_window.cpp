#include "help_window.h"

#include "../shell/product.h"

namespace {

// About 5 s: a help window that never closes must not hang the installer.
constexpr int HelpCloseRounds = 100;
constexpr DWORD HelpClosePauseMs = 50;

}  // namespace

void CloseHelpWindow() {
  for (int round = 0; round < HelpCloseRounds; ++round) {
    const HWND window = FindWindowW(TEXT("HH Parent"), ProductHelpTitle);
    if (window == nullptr) return;
    PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    Sleep(HelpClosePauseMs);
  }
}
