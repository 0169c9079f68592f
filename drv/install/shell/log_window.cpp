#include "log_window.h"

#include "log_format.h"
#include "module_instance.h"
#include "resource.h"

namespace {

constexpr SIZE_T kTitleCapacity = 264;

// A modal window in a window station no one sees (a service's, as when a
// deployment tool runs the setup as SYSTEM) would wait for ever. A station
// whose flags cannot be read is taken to be seen, as every station was.
bool SomeoneCanSeeTheWindow() {
  const HWINSTA station = GetProcessWindowStation();
  USEROBJECTFLAGS flags = {};
  DWORD needed = 0;
  if (station == nullptr || !GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof(flags), &needed)) {
    return true;
  }
  return (flags.dwFlags & WSF_VISIBLE) != 0;
}

}  // namespace

INT_PTR CALLBACK LogWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      const auto* context = reinterpret_cast<const InstallContext*>(lParam);
      SetDlgItemTextW(window, IDC_LOG_TEXT, TextString(context->LogText));
      WCHAR title[kTitleCapacity];
      SIZE_T used = AppendFormat(title, kTitleCapacity, 0, TEXT("Ravelquill build %d- Install"), BuildNumber);
      AppendFormat(title, kTitleCapacity, used, context->ErrorCount != 0 ? TEXT(" error log!") : TEXT(" log."));
      SetWindowTextW(window, title);
      return 0;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        EndDialog(window, 1);
      } else if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(window, 0);
      }
      return 0;
    default: return 0;
  }
}

void ShowLogWindowIfNeeded(InstallContext& context, HWND owner) {
  const bool shiftDown = (GetAsyncKeyState(VK_SHIFT) & 0x8000) != 0;
  if ((context.ErrorCount == 0 && !shiftDown) || !SomeoneCanSeeTheWindow()) return;
  DialogBoxParamW(ModuleInstance, MAKEINTRESOURCEW(IDD_LOG_WINDOW), owner, LogWindowProc,
                  reinterpret_cast<LPARAM>(&context));
}
