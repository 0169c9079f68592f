#include <winsim/text_format.h>

#include <algorithm>

#include <winsim/machine.h>

namespace winsim {

std::string HexDigits(std::uint64_t value, std::size_t width) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::size_t count = 1;
  for (std::uint64_t rest = value >> 4; rest != 0; rest >>= 4) ++count;
  std::string digits(std::max(count, width), '0');
  for (auto at = digits.rbegin(); value != 0; ++at, value >>= 4) *at = kDigits[value & 0xF];
  return digits;
}

std::string Hex(std::uint64_t value) { return "0x" + HexDigits(value); }

std::string VersionText(const FileVersion& version) {
  return std::to_string(version.major) + "." + std::to_string(version.minor) + "." + std::to_string(version.build) +
         "." + std::to_string(version.revision);
}

std::string Quoted(std::string_view text) {
  std::string quoted = "\"";
  for (const char c : text) {
    switch (c) {
      case '"': quoted += "\\\""; break;
      case '\n': quoted += "\\n"; break;
      case '\r': quoted += "\\r"; break;
      case '\t': quoted += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) >= 0x20) {
          quoted += c;
        } else {
          quoted += "\\x" + HexDigits(static_cast<unsigned char>(c), 2);
        }
    }
  }
  return quoted + '"';
}

std::string Quoted(const std::u16string& text) { return Quoted(Narrow(text)); }

}  // namespace winsim
