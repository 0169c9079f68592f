#include "wide_text.h"

SIZE_T WideLength(LPCWSTR text) {
  SIZE_T length = 0;
  if (text != nullptr) {
    while (text[length] != 0) ++length;
  }
  return length;
}

bool WideEqual(LPCWSTR a, LPCWSTR b) {
  if (a == nullptr || b == nullptr) return WideLength(a) == 0 && WideLength(b) == 0;
  SIZE_T i = 0;
  for (; a[i] != 0 && a[i] == b[i]; ++i) {
  }
  return a[i] == b[i];
}

namespace {
WCHAR FoldAscii(WCHAR c) { return (c >= 'A' && c <= 'Z') ? static_cast<WCHAR>(c - 'A' + 'a') : c; }
}  // namespace

bool WideEqualAsciiNoCase(LPCWSTR a, LPCWSTR b) {
  if (a == nullptr || b == nullptr) return WideLength(a) == 0 && WideLength(b) == 0;
  SIZE_T i = 0;
  for (; a[i] != 0 && FoldAscii(a[i]) == FoldAscii(b[i]); ++i) {
  }
  return FoldAscii(a[i]) == FoldAscii(b[i]);
}
