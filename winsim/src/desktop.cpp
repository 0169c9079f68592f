// The desktop model: top-level windows and dialogs.
#include <winsim/machine.h>

namespace winsim {

HWND Desktop::CreateWindow(const std::u16string& className, const std::u16string& title, HWND owner) {
  HWND hwnd = reinterpret_cast<HWND>(nextHandle);
  nextHandle += 0x10;
  windows[hwnd] = Window{className, title, owner, {}};
  return hwnd;
}

Window* Desktop::Find(HWND hwnd) {
  auto it = windows.find(hwnd);
  return it == windows.end() ? nullptr : &it->second;
}

}  // namespace winsim
