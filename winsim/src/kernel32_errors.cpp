// kernel32: the thread's last error and the system's message texts.
#include <windows.h>

#include "api.h"
#include "system_messages.h"

using namespace winsim;

DWORD WINAPI GetLastError() { return M().lastError; }

void WINAPI SetLastError(DWORD dwErrCode) { M().lastError = dwErrCode; }

// Only system texts are modelled. With FORMAT_MESSAGE_ALLOCATE_BUFFER,
// lpBuffer is really an LPWSTR* that receives a LocalAlloc block. An unknown
// code gives 0 and ERROR_MR_MID_NOT_FOUND. Texts end in CR LF, as Windows'.
DWORD WINAPI FormatMessageW(DWORD dwFlags, LPCVOID, DWORD dwMessageId, DWORD dwLanguageId, LPWSTR lpBuffer, DWORD nSize,
                            va_list*) {
  WINSIM_FAULT(0);
  if (!(dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) || lpBuffer == nullptr) {
    Fail(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (dwLanguageId != 0 && dwLanguageId != MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)) {
    Fail(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return 0;
  }
  const char* text = SystemMessageText(dwMessageId);
  if (text == nullptr) {
    Fail(ERROR_MR_MID_NOT_FOUND);
    return 0;
  }
  std::u16string message = Widen(text) + u"\r\n";
  const DWORD length = static_cast<DWORD>(message.size());
  if (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    SIZE_T bytes = (std::max<SIZE_T>(length + 1, nSize)) * sizeof(WCHAR);
    auto* block = static_cast<LPWSTR>(LocalAlloc(LMEM_FIXED, bytes));
    if (block == nullptr) return 0;
    std::memcpy(block, message.c_str(), (length + 1) * sizeof(WCHAR));
    *reinterpret_cast<LPWSTR*>(lpBuffer) = block;
    return length;
  }
  if (nSize < length + 1) {
    Fail(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(lpBuffer, message.c_str(), (length + 1) * sizeof(WCHAR));
  return length;
}
