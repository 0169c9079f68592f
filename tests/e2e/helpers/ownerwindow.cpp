// ownerwindow.exe: creates a top-level window, prints its handle as the
// decimal number a command line carries, and keeps the window until stdin is
// closed (at most 120 s).
// ownerwindow.exe --is-window N: prints 1 when N names a window, else 0.
#include <windows.h>
#include <shellapi.h>

#include "helper_io.h"

namespace {

int CheckWindow(const WCHAR* number) {
  const HWND window = reinterpret_cast<HWND>(static_cast<INT_PTR>(ParseNumber(number)));
  WriteOut(IsWindow(window) ? "1\n" : "0\n");
  return 0;
}

}  // namespace

int main() {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  int count = 0;
  LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
  if (args != nullptr && count == 3 && lstrcmpW(args[1], L"--is-window") == 0) return CheckWindow(args[2]);

  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = DefWindowProcW;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = L"RavelquillTestOwner";
  RegisterClassW(&windowClass);
  HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"Ravelquill test owner", WS_OVERLAPPEDWINDOW, 0, 0, 320,
                                200, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) {
    WriteOut("error " + Number(GetLastError()) + "\n");
    return 1;
  }
  // A window handle has 32 significant bits; the installer widens it with its sign.
  WriteOut(Number(HandleToLong(window)) + "\n");

  HANDLE stop = StdinClosedEvent();
  const ULONGLONG deadline = GetTickCount64() + 120000;
  while (GetTickCount64() < deadline) {
    if (MsgWaitForMultipleObjects(1, &stop, FALSE, 200, QS_ALLINPUT) == WAIT_OBJECT_0) break;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }
  DestroyWindow(window);
  return 0;
}
