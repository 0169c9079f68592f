#include "run_logs.h"

#include <algorithm>
#include <tuple>

#include <winsim/files.h>

#include "shell/product.h"

namespace vexsim {

namespace {

// What orders two logs of the same moment: the "YYYYMMDD-HHMMSS" after
// "vexinst64-", then the run's number in that second (the first has none).
std::tuple<std::u16string, unsigned long> NameOrder(const std::u16string& path) {
  const std::u16string name = path.substr(path.find_last_of(u'\\') + 1);
  const std::u16string prefix = RunLogFilePrefix;
  const std::u16string stamp = name.substr(std::min(prefix.size(), name.size()), 15);
  const std::size_t dot = name.rfind(u'.');
  const std::size_t dash = name.rfind(u'-', dot);
  unsigned long number = 1;
  if (dot != std::u16string::npos && dash != std::u16string::npos && dot - dash > 1 && dot - dash <= 6) {
    const std::u16string digits = name.substr(dash + 1, dot - dash - 1);
    if (std::all_of(digits.begin(), digits.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; })) {
      number = std::stoul(winsim::Narrow(digits));
    }
  }
  return {stamp, number};
}

}  // namespace

std::u16string RunLogDirectory(const winsim::Machine& machine) {
  return machine.systemDirectory.substr(0, 2) + u"\\ProgramData\\" + ProductDataFolder + u"\\" + RunLogFolder;
}

std::vector<const winsim::File*> RunLogs(const winsim::Machine& machine) {
  const std::u16string pattern = std::u16string(RunLogFilePrefix) + u"*" + RunLogFileExtension;
  std::vector<const winsim::File*> logs;
  for (const winsim::DirectoryEntry& entry : winsim::ListDirectory(machine.files, RunLogDirectory(machine))) {
    if (entry.file != nullptr && winsim::MatchesWildcard(pattern, entry.name)) logs.push_back(entry.file);
  }
  std::stable_sort(logs.begin(), logs.end(), [](const winsim::File* a, const winsim::File* b) {
    return std::make_tuple(a->written, NameOrder(a->path)) > std::make_tuple(b->written, NameOrder(b->path));
  });
  return logs;
}

std::string TerminalText(const std::vector<std::uint8_t>& bytes) {
  std::string text(bytes.begin(), bytes.end());
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out.push_back(text[i]);
  }
  return out;
}

}  // namespace vexsim
