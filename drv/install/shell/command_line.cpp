#include "command_line.h"

namespace {
bool IsSpace(WCHAR c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
}  // namespace

LONG ReadSignedDecimal(LPCWSTR text) {
  if (text == nullptr) return 0;
  while (IsSpace(*text)) ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = (*text++ == '-');
  // Accumulate the magnitude, stopping once it is past the range either way.
  const LONGLONG limit = negative ? 2147483648LL : 2147483647LL;
  LONGLONG magnitude = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    if (magnitude <= limit) magnitude = magnitude * 10 + (*text - '0');
  }
  if (magnitude > limit) magnitude = limit;
  return static_cast<LONG>(negative ? -magnitude : magnitude);
}

HWND ParseOwnerWindow(LPCWSTR text) {
  // Widened with its sign, as a 32-bit handle value is on 64-bit Windows.
  HWND window = reinterpret_cast<HWND>(static_cast<LONG_PTR>(ReadSignedDecimal(text)));
  return (window != nullptr && IsWindow(window)) ? window : nullptr;
}
