// Windows of other programs: finding them by class and title, and posting
// to a window that is not there.
#include "conformance.h"

namespace {

// A handle value that names no window: user handles carry a generation in
// their high word, and this one's does not match any window's.
HWND NoWindow() { return reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x12345678)); }

}  // namespace

// A miss is NULL; Windows then reports ERROR_FILE_NOT_FOUND.
CONFORMANCE_CASE(find_window_misses) {
  const struct {
    const WCHAR* className;
    const WCHAR* title;
  } cases[] = {
      {TEXT("conformance no such class"), nullptr},
      {nullptr, TEXT("conformance: no such title")},
      {TEXT("conformance no such class"), TEXT("conformance: no such title")},
  };
  const bool untouched = conformance::WineDiffers("FindWindowW leaves the last error as it was on a miss");
  for (const auto& c : cases)
    expect(FindWindowW(c.className, c.title),
           untouched ? conformance::kPoison : static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// Posting to a window that does not exist fails with
// ERROR_INVALID_WINDOW_HANDLE; posting to no window at all goes to the
// caller's own queue.
CONFORMANCE_CASE(post_message_to_an_invalid_window) {
  const struct {
    UINT message;
    WPARAM wParam;
  } cases[] = {{WM_CLOSE, 0}, {WM_SYSCOMMAND, SC_CLOSE}, {WM_USER + 2, 0}};
  for (const auto& c : cases) expect(PostMessageW(NoWindow(), c.message, c.wParam, 0), ERROR_INVALID_WINDOW_HANDLE);
  ok(!IsWindow(NoWindow()), "the handle names a window");
  DWORD process;
  conformance::Poison(process);
  expect(GetWindowThreadProcessId(NoWindow(), &process) != 0, ERROR_INVALID_WINDOW_HANDLE);
  expect(PostMessageW(nullptr, WM_USER + 2, 0, 0), 0);
}
