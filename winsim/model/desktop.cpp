// The desktop model: top-level windows and dialogs.
#include <winsim/machine.h>

namespace winsim {

HWND Desktop::CreateWindow(const std::u16string& className, const std::u16string& title, HWND owner, DWORD process) {
  HWND hwnd = reinterpret_cast<HWND>(nextHandle);
  nextHandle += 0x10;
  windows[hwnd] = Window{className, title, owner, {}, process};
  return hwnd;
}

Window* Desktop::Find(HWND hwnd) {
  auto it = windows.find(hwnd);
  return it == windows.end() ? nullptr : &it->second;
}

ModalLoop* Desktop::FindModal(HWND hwnd) {
  for (ModalLoop& loop : modal) {
    if (loop.hwnd == hwnd) return &loop;
  }
  return nullptr;
}

HWND Desktop::FindTopLevel(const std::u16string* className, const std::u16string* title) const {
  for (const auto& entry : windows) {
    const Window& window = entry.second;
    if (className != nullptr && FoldCase(*className) != FoldCase(window.className)) continue;
    if (title != nullptr && FoldCase(*title) != FoldCase(window.title)) continue;
    return entry.first;
  }
  return nullptr;
}

}  // namespace winsim
