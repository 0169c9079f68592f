// The print spooler's objects on the simulated machine.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <windows.h>

namespace winsim {

struct Printer {
  std::u16string name;
  std::u16string shareName;
  std::u16string port = u"LPT1:";
  std::u16string driver = u"Microsoft enhanced Point and Print compatibility driver";
  std::u16string comment;
  std::u16string location;
  std::u16string sepFile;
  std::u16string printProcessor = u"winprint";
  std::u16string datatype = u"RAW";
  std::u16string parameters;
  DWORD attributes = 0x00000240;  // local, do-complete-first
  DWORD priority = 1;
  DWORD defaultPriority = 0;
  DWORD startTime = 0;
  DWORD untilTime = 0;
  DWORD status = 0;
  DWORD jobs = 0;
  DWORD averagePpm = 0;
};

struct Spooler {
  std::vector<Printer> printers;
  std::optional<std::u16string> defaultPrinter;
  // Driver directories by environment, without a trailing backslash.
  std::map<std::u16string, std::u16string> driverDirectories = {
      {u"Windows x64", u"C:\\Windows\\system32\\spool\\DRIVERS\\x64"},
      {u"Windows NT x86", u"C:\\Windows\\system32\\spool\\DRIVERS\\W32X86"},
  };

  Printer* FindPrinter(const std::u16string& name);
};

}  // namespace winsim
