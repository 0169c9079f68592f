// The run log: an indented wide text in InstallContext::LogText, one line per
// event, with numbered error lines that carry the system's text.
#pragma once
#include <windows.h>

#include "install_context.h"

// Room for one formatted line, terminator included.
constexpr SIZE_T LogLineCapacity = 1024;

void WriteLogLine(InstallContext& context, LPCWSTR text);
void LogLine(InstallContext& context, LPCWSTR format, ...);
// Call right after the failing system call: the line carries the text of the
// thread's last error code.
void LogError(InstallContext& context, int number, LPCWSTR format, ...);

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
