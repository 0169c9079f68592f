// The print spooler's objects on the simulated machine: port monitors, the
// ports they provide, printer drivers per environment, printers with their
// data and jobs, and the default printer. "In use" is never stored: it is
// asked of the printers (see the functions below).
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <windows.h>

#include "records.h"
#include "registry.h"

namespace winsim {

struct Machine;

// A registered port monitor. Its module lies in the system directory; the
// ports are those the module provides (File::monitorPorts) while the
// spooler has it loaded.
struct Monitor {
  std::u16string name;
  std::u16string environment = u"Windows x64";
  std::u16string dll;  // file name as registered, relative to the system directory
};

// A registered printer driver: DRIVER_INFO_6 as the spooler keeps it, with
// its files in the environment's driver directory (version subdirectory).
struct Driver {
  std::u16string name;
  std::u16string environment = u"Windows x64";
  DWORD version = 3;
  std::u16string driverPath;  // full paths of the spooler's own copies
  std::u16string dataFile;
  std::u16string configFile;
  std::u16string helpFile;
  std::vector<std::u16string> dependentFiles;
  std::u16string monitorName;
  std::u16string defaultDataType;
  std::vector<std::u16string> previousNames;
  std::u16string mfgName;
  std::u16string oemUrl;
  std::u16string hardwareId;
  std::u16string provider;
};

struct PrintJob {
  DWORD id = 0;
  std::u16string document;
};

struct Printer {
  std::u16string name;
  std::u16string shareName;
  std::u16string port = u"LPT1:";  // one port or a comma-separated list
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
  DWORD averagePpm = 0;
  std::vector<PrintJob> jobs;
  // Printer data: key ("PrinterDriverData" for the plain values, "DsUser",
  // ...; FoldCase) -> values (FoldCase(name) -> value).
  std::map<std::u16string, std::map<std::u16string, RegistryValue>> data;
  // DeletePrinter while handles are open: gone when the last one closes.
  bool deletePending = false;
};

// A spooler environment: its name and its driver directory (without a
// trailing backslash); drivers of version 3 live in its "3" subdirectory.
struct PrintEnvironment {
  std::u16string name;
  std::u16string driverDirectory;
};

// The keys the spooler finds its objects by: monitors and drivers by name
// within their environment, printers by name; all without regard to case.
std::u16string FoldedKey(const Monitor& monitor);
std::u16string FoldedKey(const Driver& driver);
std::u16string FoldedKey(const Printer& printer);

struct Spooler {
  Records<Monitor> monitors;
  Records<Driver> drivers;
  Records<Printer> printers;  // a printer's name changes through printers.Rename
  std::optional<std::u16string> defaultPrinter;
  std::vector<std::u16string> printProcessors = {u"winprint"};
  std::vector<PrintEnvironment> environments = {
      {u"Windows x64", u"C:\\Windows\\system32\\spool\\DRIVERS\\x64"},
      {u"Windows NT x86", u"C:\\Windows\\system32\\spool\\DRIVERS\\W32X86"},
  };
  // How long, after AddPrinterDriverExW, the spooler keeps holding the
  // staged files it copied from (0: it lets go at once). The hold also ends
  // when the spooler stops.
  DWORD stagedHoldMs = 0;
  // Rights OpenPrinterW and AddPrinterW grant at most; more gives
  // ERROR_ACCESS_DENIED (a caller that is not an administrator).
  DWORD grantableAccess = 0x000F000C;  // PRINTER_ALL_ACCESS
  DWORD nextJobId = 1;

  Printer* FindPrinter(const std::u16string& name);
  Monitor* FindMonitor(const std::u16string& name, const std::u16string& environment);
  Driver* FindDriver(const std::u16string& name, const std::u16string& environment);
  const PrintEnvironment* FindEnvironment(const std::u16string& name) const;
};

// The members of a comma-separated port list, as a printer's pPortName has them.
std::vector<std::u16string> PortList(const std::u16string& ports);
// The ports the registered monitors provide (their modules' ports), in
// monitor order. Empty while the spooler does not run.
std::vector<std::u16string> Ports(const Machine& machine);
// The monitor providing `port`, or null.
const Monitor* MonitorOfPort(const Machine& machine, const std::u16string& port);
// The printers whose port list names one of the monitor's ports.
std::vector<const Printer*> PrintersOnMonitor(const Machine& machine, const Monitor& monitor);
// The printers that use the driver (printers use drivers of the native
// environment, "Windows x64").
std::vector<const Printer*> PrintersOfDriver(const Machine& machine, const Driver& driver);
// Whether the spooler service runs (every spooler call needs it).
bool SpoolerRunning(const Machine& machine);

}  // namespace winsim
