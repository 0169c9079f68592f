// kernel32: code-page conversion. The ANSI code page of the simulated machine
// is Windows-1252.
#include <windows.h>

#include "api.h"

using namespace winsim;

namespace {

// 0x80..0x9F of Windows-1252; the five unassigned bytes map to themselves,
// as Windows' table does.
const char16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                  0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t FromCp1252(unsigned char c) {
  if (c >= 0x80 && c <= 0x9F) return kCp1252High[c - 0x80];
  return c;
}

}  // namespace

// cbMultiByte -1 converts up to and including the terminator; cchWideChar 0
// asks for the number of characters needed.
int WINAPI MultiByteToWideChar(UINT CodePage, DWORD, LPCSTR lpMultiByteStr, int cbMultiByte, LPWSTR lpWideCharStr,
                               int cchWideChar) {
  WINSIM_FAULT(0);
  if (lpMultiByteStr == nullptr || cbMultiByte == 0 || cchWideChar < 0 ||
      (cchWideChar > 0 && lpWideCharStr == nullptr)) {
    Fail(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (CodePage != CP_ACP && CodePage != 1252) {
    Fail(ERROR_INVALID_PARAMETER);  // only the machine's ANSI page is modelled
    return 0;
  }
  const std::size_t count = cbMultiByte < 0 ? std::strlen(lpMultiByteStr) + 1 : static_cast<std::size_t>(cbMultiByte);
  if (cchWideChar == 0) return static_cast<int>(count);
  if (static_cast<std::size_t>(cchWideChar) < count) {
    Fail(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  for (std::size_t i = 0; i < count; ++i) {
    lpWideCharStr[i] = FromCp1252(static_cast<unsigned char>(lpMultiByteStr[i]));
  }
  return static_cast<int>(count);
}
