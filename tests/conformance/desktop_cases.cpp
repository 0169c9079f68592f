// Windows of other programs: finding them by class and title, and posting
// to a window that is not there.
#include "conformance.h"

using namespace conformance;

// A miss is NULL; Windows then reports ERROR_FILE_NOT_FOUND. Posting to a
// window that does not exist fails with ERROR_INVALID_WINDOW_HANDLE (a
// handle whose generation matches no window's); posting to no window at all
// goes to the caller's own queue.
CONFORMANCE_CASE(find_window_miss_and_posting_to_no_window) {
  expect(FindWindowW(TEXT("conformance no such class"), TEXT("conformance: no such title")),
         WineDiffers("FindWindowW leaves the last error as it was on a miss")
             ? kPoison
             : static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  expect(PostMessageW(reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x12345678)), WM_CLOSE, 0, 0),
         ERROR_INVALID_WINDOW_HANDLE);
  expect(PostMessageW(nullptr, WM_USER + 2, 0, 0), 0);
}
