// The machine's ANSI code page, Windows-1252, for the A calls: one byte per
// character both ways.
#pragma once
#include <windows.h>

#include <string>

namespace winsim {

char16_t FromAnsi(unsigned char c);
std::u16string FromAnsi(LPCSTR text);  // null gives the empty text
// Characters the page lacks become '?', as WideCharToMultiByte's default.
char ToAnsi(char16_t c);

}  // namespace winsim
