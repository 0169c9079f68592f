// The run log over printer names it cannot foresee: LogLine and LogError
// with "%s" of an arbitrary name (the bytes after the first eight, as
// UTF-16), at an arbitrary depth (bytes 0-3) and with an arbitrary last
// error (bytes 4-7). Each call appends one line: the indentation of the
// depth, a text of at most LogLineCapacity - 1 characters, then CR LF.
#include <cstring>

#include <winsim/machine.h>

#include "fuzz_support.h"
#include "shell/run_log.h"

namespace {

// The line the last call appended, after the checks common to every line;
// returns its text without indentation and line end.
std::u16string AppendedText(const InstallContext& context, std::size_t before, LONG depth) {
  const std::u16string log = TextString(context.LogText);
  Check(log.size() == TextLength(context.LogText) && log.size() >= before + 2);
  const std::size_t indent = depth <= 0 ? 0 : 2 * static_cast<std::size_t>(depth < 10 ? depth : 10);
  const std::u16string line = log.substr(before);
  Check(line.size() >= indent + 2 && line.compare(0, indent, std::u16string(indent, u' ')) == 0);
  Check(line.compare(line.size() - 2, 2, u"\r\n") == 0);
  const std::u16string text = line.substr(indent, line.size() - indent - 2);
  Check(text.size() < LogLineCapacity);
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 8) return 0;
  LONG depth;
  DWORD code;
  std::memcpy(&depth, data, 4);
  std::memcpy(&code, data + 4, 4);
  const std::u16string name = Utf16(data + 8, size - 8);
  const std::u16string shown = name.substr(0, name.find(u'\0'));

  InstallContext context{};
  context.LogDepth = depth;
  LogLine(context, TEXT("%s"), name.c_str());
  // A cut line drops the high half of a pair whose low half did not fit.
  std::u16string expected = shown.substr(0, LogLineCapacity - 1);
  if (expected.size() < shown.size() && !expected.empty() && expected.back() >= 0xD800 && expected.back() < 0xDC00) {
    expected.pop_back();
  }
  Check(AppendedText(context, 0, depth) == expected);

  const std::size_t before = TextLength(context.LogText);
  SetLastError(code);
  LogError(context, ErrorAddPrinter, name.c_str());
  AppendedText(context, before, depth);
  Check(GetLastError() == code && context.ErrorCount == 1 && context.LogDepth == depth);

  FreeContext(context);
  const winsim::Machine& machine = winsim::Current();
  Check(machine.memory.globalBlocks.empty() && machine.memory.localBlocks.empty());
  return 0;
}
