// kernel32: code-page conversion. The ANSI code page of the simulated machine
// is Windows-1252.
#include <windows.h>

#include "ansi_code_page.h"
#include "api.h"

using namespace winsim;


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
    lpWideCharStr[i] = FromAnsi(static_cast<unsigned char>(lpMultiByteStr[i]));
  }
  return static_cast<int>(count);
}
