// The run log's own printf-style formatter, reading a format the way the
// Windows run-time's wide formatting does: %s a wide string, %d (or %i) a
// 32-bit signed decimal, %u unsigned decimal, %x / %X 32-bit hexadecimal,
// %c a wide character, %% a percent sign. Output is cut to fit, and always
// terminated.
#pragma once
#include <cstdarg>

#include <windows.h>

// Appends to `out`, which holds `used` characters and has room for
// `capacity` including the terminator; returns the new count of characters.
SIZE_T AppendFormatV(LPWSTR out, SIZE_T capacity, SIZE_T used, LPCWSTR format, va_list args);
SIZE_T AppendFormat(LPWSTR out, SIZE_T capacity, SIZE_T used, LPCWSTR format, ...);
