// The machine file's text, written by hand: UTF-8, every string escaped.
#include <cstdio>

#include "snapshot.h"

namespace vexsnap {

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  // A lone surrogate becomes U+FFFD, as the machine file's loader has it.
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) {
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size, nullptr, nullptr);
  }
  return out;
}

std::string Quote(const std::wstring& text) {
  std::string out = "\"";
  for (char c : Utf8(text)) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof(escaped), "\\u%04x", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string QuoteAnsi(const char* text) {
  // The ANSI code page, as the installer's "A" calls read the same bytes.
  const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  std::wstring wide(static_cast<size_t>(length > 0 ? length : 1), L'\0');
  if (length > 0) MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], length);
  wide.resize(wide.size() - 1);
  return Quote(wide);
}

std::string Hex(const BYTE* data, DWORD size) {
  std::string out;
  char pair[3];
  for (DWORD i = 0; i < size; ++i) {
    std::snprintf(pair, sizeof(pair), "%02x", data[i]);
    out += pair;
  }
  return "\"" + out + "\"";
}

std::string Field(const char* name, const std::string& json) { return "\"" + std::string(name) + "\": " + json; }

std::string Object(const std::vector<std::string>& fields) {
  std::string out = "{";
  for (size_t i = 0; i < fields.size(); ++i) out += (i ? ", " : "") + fields[i];
  return out + "}";
}

std::string List(const std::vector<std::string>& items, const char* indent) {
  if (items.empty()) return "[]";
  const std::string margin = indent;
  if (margin.size() < 2) {  // on one line
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i) out += (i ? ", " : "") + items[i];
    return out + "]";
  }
  std::string out = "[\n";
  for (size_t i = 0; i < items.size(); ++i) out += indent + items[i] + (i + 1 < items.size() ? ",\n" : "\n");
  return out + margin.substr(2) + "]";
}

std::wstring Fold(const std::wstring& text) {
  std::wstring folded = text;
  if (!folded.empty()) CharUpperBuffW(&folded[0], static_cast<DWORD>(folded.size()));
  return folded;
}

std::string RegistryValue(const std::string& quotedName, DWORD type, const BYTE* data, DWORD size, bool ansi) {
  std::string value;
  const bool text = (type == REG_SZ || type == REG_EXPAND_SZ) && size > 0 &&
                    (ansi ? data[size - 1] == 0 : size % 2 == 0 && data[size - 2] == 0 && data[size - 1] == 0);
  if (text && ansi) {
    value = QuoteAnsi(reinterpret_cast<const char*>(data));
  } else if (text) {
    value = Quote(reinterpret_cast<const wchar_t*>(data));
  } else if (type == REG_DWORD && size == 4) {
    value = std::to_string(*reinterpret_cast<const DWORD*>(data));
  } else {
    // Exact bytes: a list with empty entries, text without its terminator.
    value = Object({Field("hex", Hex(data, size))});
  }
  const char* const kTypeNames[] = {"REG_NONE",  "REG_SZ", "REG_EXPAND_SZ", "REG_BINARY",
                                    "REG_DWORD", nullptr,  nullptr,         "REG_MULTI_SZ"};
  const std::string typeName =
      type < 8 && kTypeNames[type] ? "\"" + std::string(kTypeNames[type]) + "\"" : std::to_string(type);
  return Object({Field("name", quotedName), Field("type", typeName), Field("data", value)});
}

}  // namespace vexsnap
