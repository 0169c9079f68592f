// How winsim and vexsim write numbers, versions and names for a person: the
// trace of a program's calls, machine files and their errors, vexsim's
// reports. Written once, so that the same value reads the same in each.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "files.h"

namespace winsim {

// Lower-case hex digits, at least `width` of them: "1f", "001f".
std::string HexDigits(std::uint64_t value, std::size_t width = 1);
// "0x1f".
std::string Hex(std::uint64_t value);

// "a.b.c.d", as Explorer shows a product version.
std::string VersionText(const FileVersion& version);

// UTF-8 text in double quotes, a quote or control character in it escaped
// (\" \n \r \t \x01), so that the text stays on one line and its ends show.
std::string Quoted(std::string_view text);
std::string Quoted(const std::u16string& text);

}  // namespace winsim
