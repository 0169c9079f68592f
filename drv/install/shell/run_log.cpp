#include "run_log.h"

#include "log_format.h"

namespace {

constexpr LONG kMaxIndentLevels = 10;

// The texts of the numbered error lines, by number (typos included: support
// searches for them as they stand).
constexpr LPCWSTR kErrorTexts[] = {
    nullptr,
    TEXT("Can't open service manager."),
    TEXT("Can't open the spooler"),
    TEXT("Can't stop the spooler"),
    TEXT("Can't start the spooler"),
    TEXT("ControlService failed with code %d (0x%x)"),
    TEXT("Can`t retrieve printer driver directory."),
    TEXT("Can`t retrieve system directory."),
    TEXT("CopyFile(..,%s)"),
    TEXT("Cant't open destination file: %s"),
    TEXT("Cant't open source file: %s"),
    TEXT("Can`t install a local port monitor'Ravelquill:'"),
    TEXT("Can`t remove the port monitor 'Ravelquill:'"),
    TEXT("Can`t install a printer driver 'Ravelquill printer'"),
    TEXT("Can`t remove the printer-driver 'Ravelquill printer'"),
    TEXT("Can`t add printer '%s'"),
    TEXT("Can`t open printer '%s'"),
    TEXT("Can`t delete printer '%s'"),
};
static_assert(sizeof(kErrorTexts) / sizeof(kErrorTexts[0]) == ErrorDeletePrinter + 1, "one text per error line");

// Removes the CR LF pairs that end every system text.
void TrimLineEnd(LPWSTR text) {
  SIZE_T length = 0;
  while (text[length] != 0) ++length;
  while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n')) text[--length] = 0;
}

}  // namespace

LPWSTR SystemErrorText(DWORD code) {
  LPWSTR text = nullptr;
  FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr,
                 code, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  if (text != nullptr) TrimLineEnd(text);
  return text;
}

void WriteLogLine(InstallContext& context, LPCWSTR text) {
  if (context.LogDepth > 0) {
    WCHAR indent[2 * kMaxIndentLevels + 1];
    const SIZE_T width =
        2 * static_cast<SIZE_T>(context.LogDepth < kMaxIndentLevels ? context.LogDepth : kMaxIndentLevels);
    for (SIZE_T i = 0; i < width; ++i) indent[i] = ' ';
    indent[width] = 0;
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

void LogError(InstallContext& context, int number, ...) {
  // Formatting touches no system call, so the failing call's code survives.
  WCHAR line[LogLineCapacity];
  SIZE_T used = AppendFormat(line, LogLineCapacity, 0, TEXT("Error(%d): "), number);
  const bool known = number >= ErrorOpenServiceManager && number <= ErrorDeletePrinter;
  va_list args;
  va_start(args, number);
  used = AppendFormatV(line, LogLineCapacity, used, known ? kErrorTexts[number] : TEXT(""), args);
  va_end(args);

  const DWORD code = GetLastError();
  LPWSTR systemText = SystemErrorText(code);
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
