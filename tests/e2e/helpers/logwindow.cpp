// logwindow.exe [--close ok|cancel|close|none] [--timeout-ms N] [--title PREFIX]:
// waits for the installer's log window (a dialog whose title starts with
// PREFIX, by default "Ravelquill build 2446- Install"), prints what it shows
// as one JSON object, and closes it: "ok" and "cancel" post WM_COMMAND with
// IDOK or IDCANCEL, "close" posts WM_CLOSE (the caption's close box), "none"
// leaves it open. Gives up when N ms (default 30000) have passed or when
// stdin is closed (the harness saw the installer end). Exit 0 when the window
// was found (and closed, unless "none"), 1 when none came, 3 when it stayed.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "helper_io.h"

namespace {

constexpr int kLogTextId = 1001;
constexpr UINT kReadTimeoutMs = 5000;

struct Search {
  std::wstring TitlePrefix;
  HWND Found = nullptr;
};

std::wstring ClassOf(HWND window) {
  WCHAR name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

// WM_GETTEXT sent to the other process, as a screen reader would read it.
std::wstring TextOf(HWND window) {
  if (window == nullptr) return std::wstring();
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kReadTimeoutMs, &length)) {
    return std::wstring();
  }
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(&text[0]), SMTO_ABORTIFHUNG,
                      kReadTimeoutMs, &copied);
  text.resize(copied);
  return text;
}

BOOL CALLBACK Visit(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  if (ClassOf(window) != L"#32770") return TRUE;
  const std::wstring title = TextOf(window);
  if (title.compare(0, search->TitlePrefix.size(), search->TitlePrefix) != 0) return TRUE;
  search->Found = window;
  return FALSE;
}

std::string Hex(DWORD value) {
  char text[16];
  snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(value));
  return text;
}

}  // namespace

int main() {
  int count = 0;
  LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
  std::wstring close = L"ok";
  DWORD timeoutMs = 30000;
  Search search;
  search.TitlePrefix = L"Ravelquill build 2446- Install";
  for (int i = 1; args != nullptr && i + 1 < count; i += 2) {
    const std::wstring option = args[i];
    if (option == L"--close") close = args[i + 1];
    if (option == L"--timeout-ms") timeoutMs = static_cast<DWORD>(ParseNumber(args[i + 1]));
    if (option == L"--title") search.TitlePrefix = args[i + 1];
  }

  HANDLE stop = StdinClosedEvent();
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  while (search.Found == nullptr && GetTickCount64() < deadline) {
    EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
    if (search.Found != nullptr) break;
    // The installer may have ended: one more look, then stop.
    if (WaitForSingleObject(stop, 50) == WAIT_OBJECT_0) {
      EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
      break;
    }
  }
  if (search.Found == nullptr) {
    WriteOut("{\"found\": false}\n");
    return 1;
  }

  const HWND dialog = search.Found;
  const HWND text = GetDlgItem(dialog, kLogTextId);
  const HWND button = GetDlgItem(dialog, IDOK);
  std::string out = "{\"found\": true";
  out += ", \"title\": " + Json(TextOf(dialog));
  out += ", \"text\": " + Json(TextOf(text));
  out += ", \"text_class\": " + Json(text != nullptr ? ClassOf(text) : std::wstring());
  out += ", \"text_style\": \"" + Hex(static_cast<DWORD>(GetWindowLongW(text, GWL_STYLE))) + "\"";
  out += ", \"button\": " + Json(TextOf(button));
  out += ", \"dialog_style\": \"" + Hex(static_cast<DWORD>(GetWindowLongW(dialog, GWL_STYLE))) + "\"";
  out += ", \"owner\": " + Number(HandleToLong(GetWindow(dialog, GW_OWNER)));
  out += ", \"close\": " + Json(close);

  if (close == L"ok") {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(button));
  } else if (close == L"cancel") {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
  } else if (close == L"close") {
    PostMessageW(dialog, WM_CLOSE, 0, 0);
  }
  bool closed = false;
  if (close != L"none") {
    const ULONGLONG closeDeadline = GetTickCount64() + 10000;
    while (IsWindow(dialog) && GetTickCount64() < closeDeadline) Sleep(20);
    closed = !IsWindow(dialog);
  }
  out += ", \"closed\": ";
  out += closed ? "true" : "false";
  WriteOut(out + "}\n");
  return close == L"none" || closed ? 0 : 3;
}
