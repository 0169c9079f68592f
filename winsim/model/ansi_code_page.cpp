#include <winsim/ansi_code_page.h>

namespace winsim {
namespace {

// 0x80..0x9F of Windows-1252, where it differs from Latin-1; the five
// unassigned bytes map to themselves, as Windows' table does.
const char16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                  0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

char16_t FromAnsi(unsigned char c) { return c >= 0x80 && c <= 0x9F ? kCp1252High[c - 0x80] : c; }

std::u16string FromAnsi(LPCSTR text) {
  std::u16string wide;
  for (; text != nullptr && *text != 0; ++text) wide.push_back(FromAnsi(static_cast<unsigned char>(*text)));
  return wide;
}

char ToAnsi(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
  for (int i = 0; i < 32; ++i) {
    if (kCp1252High[i] == c) return static_cast<char>(0x80 + i);
  }
  return '?';
}

}  // namespace winsim
