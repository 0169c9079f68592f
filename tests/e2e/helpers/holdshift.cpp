// holdshift.exe: presses the Shift key as the keyboard would, prints
// "holding", and releases it when stdin is closed (at most after 120 s).
// Every program of the session then sees Shift down in GetAsyncKeyState.
#include <windows.h>

#include "helper_io.h"

namespace {

bool SendShift(DWORD flags) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = VK_SHIFT;
  input.ki.dwFlags = flags;
  return SendInput(1, &input, sizeof(input)) == 1;
}

}  // namespace

int main() {
  if (!SendShift(0)) {
    WriteOut("error " + Number(GetLastError()) + "\n");
    return 1;
  }
  WriteOut("holding\n");
  WaitForSingleObject(StdinClosedEvent(), 120000);
  SendShift(KEYEVENTF_KEYUP);
  WriteOut("released\n");
  return 0;
}
