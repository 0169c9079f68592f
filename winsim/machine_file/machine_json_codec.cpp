// Bytes as hex runs, the one text format of the machine file that is not JSON's own.
#include "machine_json_codec.h"

namespace winsim::machine_json {

std::string HexText(const std::vector<std::uint8_t>& bytes) {
  std::string text;
  bool literal = false;  // the last token is plain bytes, so more can join it
  for (std::size_t i = 0; i < bytes.size();) {
    std::size_t run = 1;
    while (i + run < bytes.size() && bytes[i + run] == bytes[i]) ++run;
    // A run is worth its "*n" from four bytes on.
    const bool asRun = run >= 4;
    if (!text.empty() && (asRun || !literal)) text += ' ';
    for (std::size_t k = 0; k < (asRun ? 1 : run); ++k) text += HexDigits(bytes[i], 2);
    if (asRun) text += "*" + std::to_string(run);
    literal = !asRun;
    i += run;
  }
  return text;
}

bool ParseHex(const std::string& text, std::vector<std::uint8_t>& bytes) {
  // More than any simulated file holds; a hostile count stays an error.
  constexpr std::size_t kMaxBytes = std::size_t{1} << 28;
  const auto nibble = [](char c) {
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
  };
  bytes.clear();
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == ' ' || text[i] == '\n') {
      ++i;
      continue;
    }
    if (i + 1 >= text.size()) return false;
    const int high = nibble(text[i]);
    const int low = nibble(text[i + 1]);
    if (high < 0 || low < 0) return false;
    const auto byte = static_cast<std::uint8_t>(high << 4 | low);
    i += 2;
    std::size_t count = 1;
    if (i < text.size() && text[i] == '*') {
      const std::size_t start = ++i;
      count = 0;
      while (i < text.size() && text[i] >= '0' && text[i] <= '9' && count <= kMaxBytes) {
        count = count * 10 + static_cast<std::size_t>(text[i++] - '0');
      }
      if (i == start || count == 0 || (i < text.size() && text[i] != ' ' && text[i] != '\n')) return false;
    }
    if (count > kMaxBytes - bytes.size()) return false;
    bytes.insert(bytes.end(), count, byte);
  }
  return true;
}

}  // namespace winsim::machine_json
