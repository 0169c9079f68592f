// The installer's kept run logs on a machine: the files of
// C:\ProgramData\Ravelquill\Logs\ named vexinst64-*.log, newest first.
#pragma once
#include <string>
#include <vector>

#include <winsim/machine.h>

namespace vexsim {

// The folder on `machine`: its application data folder lies on the system
// drive, as SHGetFolderPathW gives it.
std::u16string RunLogDirectory(const winsim::Machine& machine);

// The run logs, newest first: the last written first; files written at the
// same moment by the time and the "-N" number in their names, higher first.
std::vector<const winsim::File*> RunLogs(const winsim::Machine& machine);

// A log's UTF-8 text for a terminal: without a byte-order mark, CR LF as LF.
std::string TerminalText(const std::vector<std::uint8_t>& bytes);

}  // namespace vexsim
