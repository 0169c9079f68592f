// Output and input of the end-to-end helpers: UTF-8 on stdout for the Linux
// side to read, JSON strings, numbers from the command line, and a wait that
// ends when the harness closes the helper's stdin.
#pragma once
#include <windows.h>

#include <cstdio>
#include <string>

inline void WriteOut(const std::string& text) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

inline std::string Utf8(const WCHAR* text, int length = -1) {
  if (text == nullptr) return std::string();
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return std::string();
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, &out[0], bytes, nullptr, nullptr);
  if (length == -1) out.pop_back();  // the terminating zero
  return out;
}

// A JSON string literal, or null for an absent text.
inline std::string Json(const WCHAR* text, int length = -1) {
  if (text == nullptr) return "null";
  const std::string utf8 = Utf8(text, length);
  std::string out = "\"";
  for (unsigned char c : utf8) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char escaped[8];
          snprintf(escaped, sizeof(escaped), "\\u%04x", c);
          out += escaped;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

inline std::string Json(const std::wstring& text) { return Json(text.c_str(), static_cast<int>(text.size())); }

inline std::string Number(long long value) { return std::to_string(value); }

// One "name": value member of a JSON object.
inline std::string Field(const char* name, const std::string& value) {
  return "\"" + std::string(name) + "\": " + value;
}

inline long long ParseNumber(const WCHAR* text) {
  long long value = 0;
  bool negative = false;
  if (*text == '-') {
    negative = true;
    ++text;
  }
  while (*text >= '0' && *text <= '9') value = value * 10 + (*text++ - '0');
  return negative ? -value : value;
}

// Set when stdin reaches its end: the harness closes the pipe to say "stop".
inline HANDLE StdinClosedEvent() {
  HANDLE closed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE thread = CreateThread(
      nullptr, 0,
      [](LPVOID event) -> DWORD {
        char buffer[64];
        DWORD read = 0;
        while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof(buffer), &read, nullptr) && read > 0) {
        }
        SetEvent(static_cast<HANDLE>(event));
        return 0;
      },
      closed, 0, nullptr);
  if (thread != nullptr) CloseHandle(thread);
  return closed;
}
