// postmessage.exe [--send] CLASS MESSAGE WPARAM LPARAM: posts the message to
// the top-level window of that class and prints "posted"; with --send it
// sends it instead, returning once the window has handled it, and prints
// "sent". Prints "no window" (exit 1) when there is none.
#include <windows.h>
#include <shellapi.h>

#include "helper_io.h"

int main() {
  int count = 0;
  LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
  const bool send = args != nullptr && count == 6 && lstrcmpW(args[1], L"--send") == 0;
  if (args == nullptr || count != (send ? 6 : 5)) {
    WriteOut("usage: postmessage [--send] CLASS MESSAGE WPARAM LPARAM\n");
    return 2;
  }
  LPWSTR* message = args + (send ? 2 : 1);
  HWND window = FindWindowW(message[0], nullptr);
  if (window == nullptr) {
    WriteOut("no window\n");
    return 1;
  }
  const UINT id = static_cast<UINT>(ParseNumber(message[1]));
  const WPARAM wParam = static_cast<WPARAM>(ParseNumber(message[2]));
  const LPARAM lParam = static_cast<LPARAM>(ParseNumber(message[3]));
  if (send) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, id, wParam, lParam, SMTO_ABORTIFHUNG, 10000, &result)) {
      WriteOut("error " + Number(GetLastError()) + "\n");
      return 1;
    }
    WriteOut("sent\n");
    return 0;
  }
  if (!PostMessageW(window, id, wParam, lParam)) {
    WriteOut("error " + Number(GetLastError()) + "\n");
    return 1;
  }
  WriteOut("posted\n");
  return 0;
}
