// The run log: an indented wide text in InstallContext::LogText, one line per
// event, with numbered error lines that carry the system's text.
#pragma once
#include <windows.h>

#include "install_context.h"

// Room for one formatted line, terminator included.
constexpr SIZE_T LogLineCapacity = 1024;

// The numbered error lines. The number names the failing place in a support
// report; its text (some take printf arguments) lives in one table in
// run_log.cpp. Support reads both: neither ever changes.
enum ErrorLine : int {
  ErrorOpenServiceManager = 1,
  ErrorOpenSpooler = 2,
  ErrorStopSpooler = 3,
  ErrorStartSpooler = 4,
  ErrorControlService = 5,  // code %d (0x%x)
  ErrorDriverDirectory = 6,
  ErrorSystemDirectory = 7,
  ErrorCopyFile = 8,         // destination %s
  ErrorOpenDestination = 9,  // %s
  ErrorOpenSource = 10,      // %s
  ErrorInstallMonitor = 11,
  ErrorRemoveMonitor = 12,
  ErrorInstallDriver = 13,
  ErrorRemoveDriver = 14,
  ErrorAddPrinter = 15,     // printer %s
  ErrorOpenPrinter = 16,    // printer %s
  ErrorDeletePrinter = 17,  // printer %s
};

// The system's English text for an error code without its line end, from
// the local heap (LocalFree), or null when there is none.
LPWSTR SystemErrorText(DWORD code);

void WriteLogLine(InstallContext& context, LPCWSTR text);
void LogLine(InstallContext& context, LPCWSTR format, ...);
// Call right after the failing system call: the line carries the text of the
// thread's last error code. The arguments fill the line's own text. (An int,
// not an ErrorLine: an enum cannot start a variable argument list.)
void LogError(InstallContext& context, int number, ...);

// Raises LogDepth for the life of a section and lowers it on every way out.
class LogDepthScope {
 public:
  LogDepthScope(InstallContext& context, LONG step) : context_(context), step_(step) { context_.LogDepth += step_; }
  ~LogDepthScope() { context_.LogDepth -= step_; }
  LogDepthScope(const LogDepthScope&) = delete;
  LogDepthScope& operator=(const LogDepthScope&) = delete;

 private:
  InstallContext& context_;
  LONG step_;
};
