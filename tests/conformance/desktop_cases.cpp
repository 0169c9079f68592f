// Windows of other programs: finding them by class and title, and posting
// to a window that is not there; the process's own window station.
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

// A program started from a logged-on user's session runs in the interactive
// "WinSta0", which is visible. A buffer too small for the flags or the name
// fails, gets nothing and learns the size needed; a handle that is no window
// station fails with ERROR_INVALID_HANDLE.
CONFORMANCE_CASE(process_window_station_flags_and_name) {
  const HWINSTA station = expect(GetProcessWindowStation(), 0);
  USEROBJECTFLAGS flags;
  DWORD needed;
  Poison(flags);
  Poison(needed);
  expect(GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof(flags) - 1, &needed),
         WineDiffers("a buffer too small for the flags gives ERROR_BUFFER_OVERFLOW")
             ? static_cast<DWORD>(ERROR_BUFFER_OVERFLOW)
             : static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  ok(needed == sizeof(flags) && flags.dwFlags == 0xCCCCCCCC, "needed %lu, flags %lx", needed, flags.dwFlags);
  expect(GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof(flags), &needed), 0);
  ok((flags.dwFlags & WSF_VISIBLE) != 0, "flags %lx", flags.dwFlags);

  WCHAR name[8];  // "WinSta0"
  Poison(name);
  expect(GetUserObjectInformationW(station, UOI_NAME, name, sizeof(name) - 1, &needed), ERROR_INSUFFICIENT_BUFFER);
  ok(needed == sizeof(name) && name[0] == 0xCCCC, "needed %lu", needed);
  expect(GetUserObjectInformationW(station, UOI_NAME, name, sizeof(name), &needed), 0);
  ok(SameText(name, TEXT("WinSta0")), "name %s", Narrow(name).c_str());

  expect(GetUserObjectInformationW(nullptr, UOI_FLAGS, &flags, sizeof(flags), &needed), ERROR_INVALID_HANDLE);
}
