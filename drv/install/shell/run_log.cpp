#include "run_log.h"

#include "log_format.h"

namespace {

constexpr LONG kMaxIndentLevels = 10;

// Removes the CR LF pairs that end every system text.
void TrimLineEnd(LPWSTR text) {
  SIZE_T length = 0;
  while (text[length] != 0) ++length;
  while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n')) text[--length] = 0;
}

}  // namespace

void WriteLogLine(InstallContext& context, LPCWSTR text) {
  if (context.LogDepth > 0) {
    WCHAR indent[2 * kMaxIndentLevels + 1];
    const LONG levels = context.LogDepth < kMaxIndentLevels ? context.LogDepth : kMaxIndentLevels;
    for (LONG i = 0; i < 2 * levels; ++i) indent[i] = ' ';
    indent[2 * levels] = 0;
    TextAppend(context.LogText, indent);
  }
  if (text != nullptr) TextAppend(context.LogText, text);
  TextAppend(context.LogText, TEXT("\r\n"));
}

void LogLine(InstallContext& context, LPCWSTR format, ...) {
  WCHAR line[LogLineCapacity];
  va_list args;
  va_start(args, format);
  AppendFormatV(line, LogLineCapacity, 0, format, args);
  va_end(args);
  WriteLogLine(context, line);
}

void LogError(InstallContext& context, int number, LPCWSTR format, ...) {
  // Formatting touches no system call, so the failing call's code survives.
  WCHAR line[LogLineCapacity];
  SIZE_T used = AppendFormat(line, LogLineCapacity, 0, TEXT("Error(%d): "), number);
  va_list args;
  va_start(args, format);
  used = AppendFormatV(line, LogLineCapacity, used, format, args);
  va_end(args);

  const DWORD code = GetLastError();
  LPWSTR systemText = nullptr;
  FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr,
                 code, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), reinterpret_cast<LPWSTR>(&systemText), 0, nullptr);
  if (systemText != nullptr) TrimLineEnd(systemText);
  if (code != 0) {
    if (systemText != nullptr) {
      AppendFormat(line, LogLineCapacity, used, TEXT(" - (%s)"), systemText);
    } else {
      AppendFormat(line, LogLineCapacity, used, TEXT(" - ( No Description )"));
    }
  }
  WriteLogLine(context, line);
  ++context.ErrorCount;
  if (systemText != nullptr) LocalFree(systemText);
  SetLastError(code);  // a caller may report the same failure again
}
