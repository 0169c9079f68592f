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
};

struct Desktop {
  std::map<HWND, Window> windows;
  std::uintptr_t nextHandle = 0x10010;

  HWND CreateWindow(const std::u16string& className, const std::u16string& title);
};

}  // namespace winsim
