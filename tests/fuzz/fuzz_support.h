// What the fuzz targets share: a check that ends the run as a crash, so
// libFuzzer keeps the input, a fresh machine per input, and the fuzzer's
// bytes read as UTF-16.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include <winsim/machine.h>

inline void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// A copy of `base` as the current machine: the input's own, at a fraction
// of the cost of building one.
inline winsim::Machine& CopyOf(const winsim::Machine& base) {
  winsim::SetCurrent(base.Copy());
  return winsim::Current();
}

// Byte pairs, low byte first; an odd last byte is dropped.
inline std::u16string Utf16(const std::uint8_t* data, std::size_t size) {
  std::u16string text(size / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  }
  return text;
}
