// winspool: port monitors, printer drivers, printers and printer data; one
// section each.

#include <winsim/ansi_code_page.h>

#include "winspool_internal.h"

using namespace winsim;

// ============================================================================
// winspool: port monitors.

namespace {

// Built before main: a test run that cannot allocate it ends either way.
// NOLINTNEXTLINE(cert-err58-cpp)
const std::vector<InfoLevel<Monitor>> kMonitorLevels = {
    {1, sizeof(MONITOR_INFO_1W), {{offsetof(MONITOR_INFO_1W, pName), [](const Monitor& m) -> Text { return m.name; }}}},
    {2,
     sizeof(MONITOR_INFO_2W),
     {
         {offsetof(MONITOR_INFO_2W, pName), [](const Monitor& m) -> Text { return m.name; }},
         {offsetof(MONITOR_INFO_2W, pEnvironment), [](const Monitor& m) -> Text { return m.environment; }},
         {offsetof(MONITOR_INFO_2W, pDLLName), [](const Monitor& m) -> Text { return m.dll; }},
     }},
};

}  // namespace

BOOL WINAPI EnumMonitorsW(LPWSTR pName, DWORD Level, LPBYTE pMonitor, DWORD cbBuf, LPDWORD pcbNeeded,
                          LPDWORD pcReturned) {
  WINSPOOL_ENTRY(FALSE);
  const InfoLevel<Monitor>* level = StartEnum(kMonitorLevels, Level, pName, pcbNeeded, pcReturned);
  if (level == nullptr) return FALSE;
  std::vector<const Monitor*> monitors;
  for (const Monitor& m : M().spooler.monitors) monitors.push_back(&m);
  return EndEnum(*level, monitors, pMonitor, cbBuf, pcbNeeded, pcReturned);
}

// Level 2 only. The spooler loads the module from the system directory
// (ERROR_MOD_NOT_FOUND when it is not there, ERROR_PROC_NOT_FOUND when it is
// no port monitor) and keeps it loaded.
BOOL WINAPI AddMonitorW(LPWSTR pName, DWORD Level, LPBYTE pMonitorInfo) {
  WINSPOOL_ENTRY(FALSE);
  if (!ArgumentChecks().Level(Level, {2}).Server(pName)) return FALSE;
  const auto* info = reinterpret_cast<const MONITOR_INFO_2W*>(pMonitorInfo);
  const bool named = info != nullptr && !IsLocalServer(info->pName) && !IsLocalServer(info->pDLLName);
  if (!ArgumentChecks().Require(named, ERROR_INVALID_PARAMETER)) return FALSE;
  const std::u16string environment = EnvironmentOf(info->pEnvironment);
  if (!ArgumentChecks().Require(SameFolded(environment, kNativeEnvironment), ERROR_INVALID_ENVIRONMENT)) return FALSE;
  Spooler& spooler = M().spooler;
  if (spooler.FindMonitor(FromWide(info->pName), environment) != nullptr) {
    Fail(ERROR_PRINT_MONITOR_ALREADY_INSTALLED);
    return FALSE;
  }
  const std::u16string dll = FromWide(info->pDLLName);
  const File* module =
      dll.find(u'\\') == std::u16string::npos ? M().files.Find(M().systemDirectory + u"\\" + dll) : nullptr;
  if (module == nullptr) {
    Fail(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }
  if (!module->monitorPorts) {
    Fail(ERROR_PROC_NOT_FOUND);
    return FALSE;
  }
  spooler.monitors.push_back(Monitor{FromWide(info->pName), environment, dll});
  return TRUE;
}

// The spooler unloads the module, so it can be deleted afterwards.
BOOL WINAPI DeleteMonitorW(LPWSTR pName, LPWSTR pEnvironment, LPWSTR pMonitorName) {
  WINSPOOL_ENTRY(FALSE);
  if (!ArgumentChecks()
           .Server(pName)
           .Require(!IsLocalServer(pMonitorName), ERROR_INVALID_PARAMETER)
           .Environment(pEnvironment)) {
    return FALSE;
  }
  const Monitor* monitor = M().spooler.FindMonitor(FromWide(pMonitorName), EnvironmentOf(pEnvironment));
  if (monitor == nullptr) {
    Fail(ERROR_UNKNOWN_PRINT_MONITOR);
    return FALSE;
  }
  if (!PrintersOnMonitor(M(), *monitor).empty()) {
    Fail(ERROR_PRINT_MONITOR_IN_USE);
    return FALSE;
  }
  M().spooler.monitors.erase(monitor);
  return TRUE;
}

// ============================================================================
// winspool: printer drivers and their files in the driver store.

namespace {

template <typename Info>
void FixedVersion(const Driver& d, BYTE* record) {
  reinterpret_cast<Info*>(record)->cVersion = d.version;
}

// The fields DRIVER_INFO_2W and DRIVER_INFO_6W begin with.
template <typename Info>
std::vector<StringField<Driver>> Level2Strings() {
  return {
      {offsetof(Info, pName), [](const Driver& d) -> Text { return d.name; }},
      {offsetof(Info, pEnvironment), [](const Driver& d) -> Text { return d.environment; }},
      {offsetof(Info, pDriverPath), [](const Driver& d) -> Text { return d.driverPath; }},
      {offsetof(Info, pDataFile), [](const Driver& d) -> Text { return d.dataFile; }},
      {offsetof(Info, pConfigFile), [](const Driver& d) -> Text { return d.configFile; }},
  };
}

std::vector<StringField<Driver>> Level6Strings() {
  auto fields = Level2Strings<DRIVER_INFO_6W>();
  const std::vector<StringField<Driver>> more = {
      {offsetof(DRIVER_INFO_6W, pHelpFile), [](const Driver& d) -> Text { return d.helpFile; }},
      {offsetof(DRIVER_INFO_6W, pDependentFiles), [](const Driver& d) { return MultiText(d.dependentFiles); }},
      {offsetof(DRIVER_INFO_6W, pMonitorName), [](const Driver& d) -> Text { return d.monitorName; }},
      {offsetof(DRIVER_INFO_6W, pDefaultDataType), [](const Driver& d) -> Text { return d.defaultDataType; }},
      {offsetof(DRIVER_INFO_6W, pszzPreviousNames), [](const Driver& d) { return MultiText(d.previousNames); }},
      {offsetof(DRIVER_INFO_6W, pszMfgName), [](const Driver& d) -> Text { return d.mfgName; }},
      {offsetof(DRIVER_INFO_6W, pszOEMUrl), [](const Driver& d) -> Text { return d.oemUrl; }},
      {offsetof(DRIVER_INFO_6W, pszHardwareID), [](const Driver& d) -> Text { return d.hardwareId; }},
      {offsetof(DRIVER_INFO_6W, pszProvider), [](const Driver& d) -> Text { return d.provider; }},
  };
  fields.insert(fields.end(), more.begin(), more.end());
  return fields;
}

// Built before main: a test run that cannot allocate it ends either way.
// NOLINTNEXTLINE(cert-err58-cpp)
const std::vector<InfoLevel<Driver>> kDriverLevels = {
    {2, sizeof(DRIVER_INFO_2W), Level2Strings<DRIVER_INFO_2W>(), FixedVersion<DRIVER_INFO_2W>},
    {6, sizeof(DRIVER_INFO_6W), Level6Strings(), FixedVersion<DRIVER_INFO_6W>},
};

std::u16string FileName(const std::u16string& path) { return path.substr(path.find_last_of(u"\\/") + 1); }

// The strings of a REG_MULTI_SZ-like list in the caller's memory.
std::vector<std::u16string> MultiStringsAt(LPCWSTR list) {
  std::vector<std::u16string> strings;
  while (list != nullptr && *list != 0) {
    strings.push_back(FromWide(list));
    list += strings.back().size() + 1;
  }
  return strings;
}

bool FindEnvironmentOrFail(const std::u16string& environment) {
  if (M().spooler.FindEnvironment(environment) != nullptr) return true;
  Fail(ERROR_INVALID_ENVIRONMENT);
  return false;
}

}  // namespace

// Levels 2, 3, 4 and 6 (each begins with the one before). The files are
// named by full paths, or relative to the environment's driver directory;
// the spooler copies them into its "3" subdirectory and keeps holding the
// sources it copied from for Spooler::stagedHoldMs.
BOOL WINAPI AddPrinterDriverExW(LPWSTR pName, DWORD Level, LPBYTE pDriverInfo, DWORD dwFileCopyFlags) {
  WINSPOOL_ENTRY(FALSE);
  if (!ArgumentChecks().Level(Level, {2, 3, 4, 6}).Server(pName)) return FALSE;
  const auto* info = reinterpret_cast<const DRIVER_INFO_6W*>(pDriverInfo);
  const bool named = info != nullptr && !IsLocalServer(info->pName) && !IsLocalServer(info->pDriverPath) &&
                     !IsLocalServer(info->pDataFile) && !IsLocalServer(info->pConfigFile);
  if (!ArgumentChecks().Require(named, ERROR_INVALID_PARAMETER)) return FALSE;
  if (!ArgumentChecks().Environment(info->pEnvironment)) return FALSE;
  Machine& machine = M();
  const PrintEnvironment& store = *machine.spooler.FindEnvironment(EnvironmentOf(info->pEnvironment));

  Driver driver;
  driver.name = FromWide(info->pName);
  driver.environment = store.name;
  std::vector<std::u16string*> files = {&driver.driverPath, &driver.dataFile, &driver.configFile};
  driver.driverPath = FromWide(info->pDriverPath);
  driver.dataFile = FromWide(info->pDataFile);
  driver.configFile = FromWide(info->pConfigFile);
  if (Level >= 3) {
    driver.helpFile = FromWide(info->pHelpFile);
    driver.dependentFiles = MultiStringsAt(info->pDependentFiles);
    driver.monitorName = FromWide(info->pMonitorName);
    driver.defaultDataType = FromWide(info->pDefaultDataType);
    if (!driver.helpFile.empty()) files.push_back(&driver.helpFile);
  }
  if (Level >= 4) driver.previousNames = MultiStringsAt(info->pszzPreviousNames);
  if (Level == 6) {
    driver.mfgName = FromWide(info->pszMfgName);
    driver.oemUrl = FromWide(info->pszOEMUrl);
    driver.hardwareId = FromWide(info->pszHardwareID);
    driver.provider = FromWide(info->pszProvider);
  }
  for (auto& dependent : driver.dependentFiles) files.push_back(&dependent);

  // Every source must be there before anything is copied.
  std::vector<std::u16string> sources;
  for (const std::u16string* path : files) {
    std::u16string source = path->find(u'\\') == std::u16string::npos ? store.driverDirectory + u"\\" + *path : *path;
    const File* file = machine.files.Find(source);
    if (file == nullptr) {
      Fail(ERROR_FILE_NOT_FOUND);
      return FALSE;
    }
    sources.push_back(file->path);
  }
  const std::u16string target = store.driverDirectory + u"\\3\\";
  machine.files.AddDirectory(store.driverDirectory + u"\\3");
  for (std::size_t i = 0; i < files.size(); ++i) {
    std::u16string& path = *files[i];
    path = target + FileName(sources[i]);
    const File& source = *machine.files.Find(sources[i]);
    const File* existing = machine.files.Find(path);
    if (FoldCase(source.path) == FoldCase(path)) continue;
    // Without APD_COPY_ALL_FILES only files that differ from the store's are copied.
    if (existing == nullptr || (dwFileCopyFlags & APD_COPY_ALL_FILES) || existing->data != source.data) {
      machine.files.Put(path, source.data, source.version);
    }
    if (machine.spooler.stagedHoldMs > 0) {
      LockFile(machine, source.path, ERROR_SHARING_VIOLATION, true, machine.clock.now + machine.spooler.stagedHoldMs);
    }
  }
  if (Driver* existing = machine.spooler.FindDriver(driver.name, driver.environment)) {
    *existing = std::move(driver);
  } else {
    machine.spooler.drivers.push_back(std::move(driver));
  }
  return TRUE;
}

// A driver that a printer uses stays (ERROR_PRINTER_DRIVER_IN_USE).
// DPD_DELETE_UNUSED_FILES also deletes its files that no other driver names;
// DPD_DELETE_ALL_FILES refuses (ERROR_PRINTER_DRIVER_IN_USE, nothing
// deleted) when another driver names one of them, else deletes them all.
BOOL WINAPI DeletePrinterDriverExW(LPWSTR pName, LPWSTR pEnvironment, LPWSTR pDriverName, DWORD dwDeleteFlag,
                                   DWORD dwVersionFlag) {
  WINSPOOL_ENTRY(FALSE);
  if (!IsLocalServer(pName)) {
    Fail(ERROR_INVALID_NAME);
    return FALSE;
  }
  if (IsLocalServer(pDriverName) ||
      (dwDeleteFlag & ~(DPD_DELETE_UNUSED_FILES | DPD_DELETE_SPECIFIC_VERSION | DPD_DELETE_ALL_FILES)) != 0) {
    Fail(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::u16string environment = EnvironmentOf(pEnvironment);
  if (!FindEnvironmentOrFail(environment)) return FALSE;
  Spooler& spooler = M().spooler;
  const Driver* driver = spooler.FindDriver(FromWide(pDriverName), environment);
  if (driver == nullptr || ((dwDeleteFlag & DPD_DELETE_SPECIFIC_VERSION) && dwVersionFlag != driver->version)) {
    Fail(ERROR_UNKNOWN_PRINTER_DRIVER);
    return FALSE;
  }
  if (!PrintersOfDriver(M(), *driver).empty()) {
    Fail(ERROR_PRINTER_DRIVER_IN_USE);
    return FALSE;
  }
  const auto usedByAnother = [&](const std::u16string& file) {
    return std::any_of(spooler.drivers.begin(), spooler.drivers.end(), [&](const Driver& other) {
      if (&other == driver) return false;
      for (const std::u16string* path : {&other.driverPath, &other.dataFile, &other.configFile, &other.helpFile}) {
        if (SameFolded(*path, file)) return true;
      }
      return std::any_of(other.dependentFiles.begin(), other.dependentFiles.end(),
                         [&](const std::u16string& path) { return SameFolded(path, file); });
    });
  };
  std::vector<std::u16string> files;
  for (const std::u16string* path : {&driver->driverPath, &driver->dataFile, &driver->configFile, &driver->helpFile}) {
    if (!path->empty()) files.push_back(*path);
  }
  for (const auto& path : driver->dependentFiles) {
    if (!path.empty()) files.push_back(path);
  }
  const auto shared = std::stable_partition(files.begin(), files.end(),
                                            [&](const std::u16string& file) { return !usedByAnother(file); });
  if ((dwDeleteFlag & DPD_DELETE_ALL_FILES) && shared != files.end()) {
    Fail(ERROR_PRINTER_DRIVER_IN_USE);
    return FALSE;
  }
  files.erase(shared, files.end());
  spooler.drivers.erase(driver);
  if (!(dwDeleteFlag & (DPD_DELETE_UNUSED_FILES | DPD_DELETE_ALL_FILES))) return TRUE;
  for (const auto& file : files) DeletePath(M(), file);
  return TRUE;
}

// pEnvironment "all" lists every environment's drivers.
BOOL WINAPI EnumPrinterDriversW(LPWSTR pName, LPWSTR pEnvironment, DWORD Level, LPBYTE pDriverInfo, DWORD cbBuf,
                                LPDWORD pcbNeeded, LPDWORD pcReturned) {
  WINSPOOL_ENTRY(FALSE);
  const InfoLevel<Driver>* level = StartEnum(kDriverLevels, Level, pName, pcbNeeded, pcReturned);
  if (level == nullptr) return FALSE;
  const std::u16string environment = EnvironmentOf(pEnvironment);
  const bool all = SameFolded(environment, u"ALL");
  if (!all && !ArgumentChecks().Environment(pEnvironment)) return FALSE;
  std::vector<const Driver*> drivers;
  for (const Driver& d : M().spooler.drivers) {
    if (all || FoldCase(d.environment) == FoldCase(environment)) drivers.push_back(&d);
  }
  return EndEnum(*level, drivers, pDriverInfo, cbBuf, pcbNeeded, pcReturned);
}

// The driver of the printer the handle names, in `pEnvironment`.
BOOL WINAPI GetPrinterDriverW(HANDLE hPrinter, LPWSTR pEnvironment, DWORD Level, LPBYTE pDriverInfo, DWORD cbBuf,
                              LPDWORD pcbNeeded) {
  WINSPOOL_ENTRY(FALSE);
  const Printer* printer = nullptr;
  const InfoLevel<Driver>* level = StartGet(hPrinter, kDriverLevels, Level, pcbNeeded, printer);
  if (level == nullptr || !ArgumentChecks().Environment(pEnvironment)) return FALSE;
  const Driver* driver = M().spooler.FindDriver(printer->driver, EnvironmentOf(pEnvironment));
  if (driver == nullptr) {
    Fail(ERROR_UNKNOWN_PRINTER_DRIVER);
    return FALSE;
  }
  return WriteInfo(*level, {driver}, pDriverInfo, cbBuf, pcbNeeded) ? TRUE : FALSE;
}

// Level 1: the directory as one string, size in bytes with the terminator.
BOOL WINAPI GetPrinterDriverDirectoryW(LPWSTR pName, LPWSTR pEnvironment, DWORD Level, LPBYTE pDriverDirectory,
                                       DWORD cbBuf, LPDWORD pcbNeeded) {
  WINSPOOL_ENTRY(FALSE);
  if (!ArgumentChecks()
           .Server(pName)
           .Level(Level, {1})
           .Require(pcbNeeded != nullptr, RPC_X_NULL_REF_POINTER)
           .Environment(pEnvironment)) {
    return FALSE;
  }
  const std::u16string& directory = M().spooler.FindEnvironment(EnvironmentOf(pEnvironment))->driverDirectory;
  const DWORD needed = static_cast<DWORD>((directory.size() + 1) * sizeof(WCHAR));
  *pcbNeeded = needed;
  if (pDriverDirectory == nullptr || cbBuf < needed) {
    Fail(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(pDriverDirectory, directory.c_str(), needed);
  return TRUE;
}

// ============================================================================
// winspool: printers, their handles and the default printer.

static_assert(sizeof(DEVMODEW) == 220, "DEVMODEW must have the SDK's size");
static_assert(sizeof(PRINTER_INFO_2W) == 136, "PRINTER_INFO_2W must have the SDK's x64 size");

namespace {

constexpr std::size_t kMaxPrinterName = 220;

// The data types winprint takes.
const char16_t* const kDatatypes[] = {u"RAW",          u"RAW [FF appended]", u"RAW [FF auto]", u"NT EMF 1.003",
                                      u"NT EMF 1.006", u"NT EMF 1.007",      u"NT EMF 1.008",  u"TEXT"};

void FillDevMode(const Printer& p, DEVMODEW& dm) {
  std::memset(&dm, 0, sizeof(dm));
  const std::size_t n = std::min<std::size_t>(p.name.size(), CCHDEVICENAME - 1);
  std::memcpy(dm.dmDeviceName, p.name.data(), n * sizeof(WCHAR));
  dm.dmSpecVersion = DM_SPECVERSION;
  dm.dmSize = sizeof(DEVMODEW);
  dm.dmFields = 0x00000001 | 0x00000002 | 0x00000100;  // orientation, paper size, copies
  dm.dmOrientation = 1;
  dm.dmPaperSize = 9;  // A4
  dm.dmCopies = 1;
}

void FillPrinterFixed(const Printer& p, BYTE* record) {
  auto& r = *reinterpret_cast<PRINTER_INFO_2W*>(record);
  r.Attributes = p.attributes;
  r.Priority = p.priority;
  r.DefaultPriority = p.defaultPriority;
  r.StartTime = p.startTime;
  r.UntilTime = p.untilTime;
  r.Status = p.status | (p.deletePending ? PRINTER_STATUS_PENDING_DELETION : 0);
  r.cJobs = static_cast<DWORD>(p.jobs.size());
  r.AveragePPM = p.averagePpm;
}

// Built before main: a test run that cannot allocate it ends either way.
// NOLINTNEXTLINE(cert-err58-cpp)
const std::vector<InfoLevel<Printer>> kPrinterLevels = {
    {2,
     sizeof(PRINTER_INFO_2W),
     {
         {offsetof(PRINTER_INFO_2W, pPrinterName), [](const Printer& p) -> Text { return p.name; }},
         {offsetof(PRINTER_INFO_2W, pShareName), [](const Printer& p) -> Text { return p.shareName; }},
         {offsetof(PRINTER_INFO_2W, pPortName), [](const Printer& p) -> Text { return p.port; }},
         {offsetof(PRINTER_INFO_2W, pDriverName), [](const Printer& p) -> Text { return p.driver; }},
         {offsetof(PRINTER_INFO_2W, pComment), [](const Printer& p) -> Text { return p.comment; }},
         {offsetof(PRINTER_INFO_2W, pLocation), [](const Printer& p) -> Text { return p.location; }},
         {offsetof(PRINTER_INFO_2W, pSepFile), [](const Printer& p) -> Text { return p.sepFile; }},
         {offsetof(PRINTER_INFO_2W, pPrintProcessor), [](const Printer& p) -> Text { return p.printProcessor; }},
         {offsetof(PRINTER_INFO_2W, pDatatype), [](const Printer& p) -> Text { return p.datatype; }},
         {offsetof(PRINTER_INFO_2W, pParameters), [](const Printer& p) -> Text { return p.parameters; }},
     },
     FillPrinterFixed,
     FillDevMode,
     offsetof(PRINTER_INFO_2W, pDevMode)},
};

// Generic rights mapped onto the printer's (or the server's) own.
DWORD MapAccess(DWORD desired, bool server) {
  const struct {
    DWORD generic, printer, serverRights;
  } mapping[] = {
      {GENERIC_READ, PRINTER_READ, SERVER_READ},
      {GENERIC_WRITE, PRINTER_WRITE, SERVER_WRITE},
      {GENERIC_EXECUTE, PRINTER_EXECUTE, SERVER_EXECUTE},
      {GENERIC_ALL, PRINTER_ALL_ACCESS, SERVER_ALL_ACCESS},
  };
  DWORD mapped = desired & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL);
  for (const auto& m : mapping) {
    if (desired & m.generic) mapped |= server ? m.serverRights : m.printer;
  }
  return mapped;
}

// Spooler::grantableAccess is said in printer rights; the server's
// administer and enumerate rights go with the printer's administer and use.
bool Grantable(DWORD rights, bool server) {
  if (server) {
    const DWORD specific = rights & (SERVER_ACCESS_ADMINISTER | SERVER_ACCESS_ENUMERATE);
    rights &= ~specific;
    if (specific & SERVER_ACCESS_ADMINISTER) rights |= PRINTER_ACCESS_ADMINISTER;
    if (specific & SERVER_ACCESS_ENUMERATE) rights |= PRINTER_ACCESS_USE;
  }
  return (rights & ~M().spooler.grantableAccess) == 0;
}

HANDLE AddPrinterHandle(const std::u16string& printerName, DWORD access) {
  return NewCallerHandle<HANDLE>(HandleKind::Printer, FoldCase(printerName), access, M().services.spooler.process);
}

// Whether the handle was opened with `rights`; ERROR_ACCESS_DENIED if not.
bool HasAccess(const Handle& handle, DWORD rights) {
  if ((handle.access & rights) == rights) return true;
  Fail(ERROR_ACCESS_DENIED);
  return false;
}

// The checks AddPrinterW and SetPrinterW make of a PRINTER_INFO_2W's links,
// in the spooler's order; 0 when all hold.
DWORD CheckLinks(const PRINTER_INFO_2W& info) {
  if (IsLocalServer(info.pPortName) || IsLocalServer(info.pDriverName) || IsLocalServer(info.pPrintProcessor)) {
    return ERROR_INVALID_PARAMETER;
  }
  const auto ports = PortList(FromWide(info.pPortName));
  if (ports.empty()) return ERROR_UNKNOWN_PORT;
  for (const auto& port : ports) {
    if (MonitorOfPort(M(), port) == nullptr) return ERROR_UNKNOWN_PORT;
  }
  if (M().spooler.FindDriver(FromWide(info.pDriverName), kNativeEnvironment) == nullptr) {
    return ERROR_UNKNOWN_PRINTER_DRIVER;
  }
  const auto& processors = M().spooler.printProcessors;
  if (std::none_of(processors.begin(), processors.end(),
                   [&](const std::u16string& p) { return SameFolded(p, FromWide(info.pPrintProcessor)); })) {
    return ERROR_UNKNOWN_PRINTPROCESSOR;
  }
  if (info.pDatatype != nullptr && std::none_of(std::begin(kDatatypes), std::end(kDatatypes), [&](const char16_t* d) {
        return SameFolded(d, FromWide(info.pDatatype));
      })) {
    return ERROR_INVALID_DATATYPE;
  }
  return ERROR_SUCCESS;
}

bool ValidPrinterName(LPCWSTR name) {
  if (IsLocalServer(name)) return false;
  const std::u16string text = FromWide(name);
  return text.size() <= kMaxPrinterName && text.find_first_of(u"\\,") == std::u16string::npos;
}

// The fields level 2 sets, beyond the name and the status.
void TakeSettings(Printer& p, const PRINTER_INFO_2W& info) {
  p.shareName = FromWide(info.pShareName);
  p.port = FromWide(info.pPortName);
  p.driver = FromWide(info.pDriverName);
  p.comment = FromWide(info.pComment);
  p.location = FromWide(info.pLocation);
  p.sepFile = FromWide(info.pSepFile);
  p.printProcessor = FromWide(info.pPrintProcessor);
  // No data type is the print processor's default one.
  p.datatype = info.pDatatype != nullptr ? FromWide(info.pDatatype) : u"RAW";
  p.parameters = FromWide(info.pParameters);
  p.attributes = (info.Attributes | PRINTER_ATTRIBUTE_LOCAL) & ~(PRINTER_ATTRIBUTE_DEFAULT | PRINTER_ATTRIBUTE_NETWORK);
  p.priority = info.Priority;
  p.defaultPriority = info.DefaultPriority;
  p.startTime = info.StartTime;
  p.untilTime = info.UntilTime;
}

}  // namespace

// Level 2 only. Records first, one DEVMODEW per printer, then the strings,
// packed from the end of the caller's block.
BOOL WINAPI EnumPrintersW(DWORD Flags, LPWSTR Name, DWORD Level, LPBYTE pPrinterEnum, DWORD cbBuf, LPDWORD pcbNeeded,
                          LPDWORD pcReturned) {
  WINSPOOL_ENTRY(FALSE);
  const InfoLevel<Printer>* level = StartEnum(kPrinterLevels, Level, Name, pcbNeeded, pcReturned);
  if (level == nullptr) return FALSE;
  std::vector<const Printer*> chosen;
  if (Flags & (PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS)) {
    for (const auto& p : M().spooler.printers) chosen.push_back(&p);
  }
  return EndEnum(*level, chosen, pPrinterEnum, cbBuf, pcbNeeded, pcReturned);
}

// NULL or "" opens the print server. Without defaults a printer is opened
// for PRINTER_ACCESS_USE; rights the caller may not have give
// ERROR_ACCESS_DENIED. A printer being deleted can no longer be opened.
BOOL WINAPI OpenPrinterW(LPWSTR pPrinterName, LPHANDLE phPrinter, LPPRINTER_DEFAULTSW pDefault) {
  WINSPOOL_ENTRY(FALSE);
  if (!ArgumentChecks().Require(phPrinter != nullptr, ERROR_INVALID_PARAMETER)) return FALSE;
  *phPrinter = nullptr;
  const bool server = IsLocalServer(pPrinterName);
  std::u16string name;
  if (!server) {
    const Printer* printer = M().spooler.FindPrinter(FromWide(pPrinterName));
    if (printer == nullptr || printer->deletePending) {
      Fail(ERROR_INVALID_PRINTER_NAME);
      return FALSE;
    }
    name = printer->name;
  }
  DWORD access = pDefault != nullptr ? MapAccess(pDefault->DesiredAccess, server) : 0;
  if (access == 0) access = server ? SERVER_ACCESS_ENUMERATE : PRINTER_ACCESS_USE;
  if (!Grantable(access, server)) {
    Fail(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  *phPrinter = AddPrinterHandle(name, access);
  return TRUE;
}

BOOL WINAPI ClosePrinter(HANDLE hPrinter) {
  WINSIM_FAULT(FALSE);
  const Handle* handle = M().handles.Find(HandleValue(hPrinter), HandleKind::Printer, M().caller);
  if (handle == nullptr) {
    Fail(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // The client side lets go of the handle even when the spooler is gone.
  CloseHandleEntry(M(), HandleValue(hPrinter));
  return SpoolerAnswers() ? TRUE : FALSE;
}

// Level 2. Returns a handle with PRINTER_ALL_ACCESS.
HANDLE WINAPI AddPrinterW(LPWSTR pName, DWORD Level, LPBYTE pPrinter) {
  WINSPOOL_ENTRY(nullptr);
  const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(pPrinter);
  if (!ArgumentChecks()
           .Server(pName)
           .Level(Level, {2})
           .Require(info != nullptr, ERROR_INVALID_PARAMETER)
           .Require(Grantable(PRINTER_ALL_ACCESS, false), ERROR_ACCESS_DENIED)) {
    return nullptr;
  }
  if (!ValidPrinterName(info->pPrinterName)) {
    Fail(ERROR_INVALID_PRINTER_NAME);
    return nullptr;
  }
  if (M().spooler.FindPrinter(FromWide(info->pPrinterName)) != nullptr) {
    Fail(ERROR_PRINTER_ALREADY_EXISTS);
    return nullptr;
  }
  if (const DWORD error = CheckLinks(*info)) {
    Fail(error);
    return nullptr;
  }
  Printer printer;
  printer.name = FromWide(info->pPrinterName);
  TakeSettings(printer, *info);
  const Printer& added = M().spooler.printers.push_back(std::move(printer));
  return AddPrinterHandle(added.name, PRINTER_ALL_ACCESS);
}

namespace {

// The printer the spooler makes the default when there is none: Windows
// picks one of the others arbitrarily; here, the first of the enumeration.
const Printer* NextDefaultPrinter() {
  for (const Printer& p : M().spooler.printers) {
    if (!p.deletePending) return &p;
  }
  return nullptr;
}

}  // namespace

// Needs DELETE. The printer goes when its last handle closes and no job
// waits in it (its jobs are not dropped: a purge first is the caller's
// part); it stops being the default printer at once, and another printer,
// if any is left, becomes the default.
BOOL WINAPI DeletePrinter(HANDLE hPrinter) {
  WINSPOOL_ENTRY(FALSE);
  const Handle* handle = FindPrinterHandle(hPrinter);
  if (handle == nullptr) return FALSE;
  Printer* printer = PrinterOfHandle(*handle);
  if (printer == nullptr || !HasAccess(*handle, DELETE)) return FALSE;
  if (printer->deletePending) {
    Fail(ERROR_INVALID_PRINTER_NAME);
    return FALSE;
  }
  printer->deletePending = true;
  auto& defaultPrinter = M().spooler.defaultPrinter;
  if (defaultPrinter && SameFolded(*defaultPrinter, printer->name)) {
    const Printer* next = NextDefaultPrinter();
    defaultPrinter = next != nullptr ? std::optional<std::u16string>(next->name) : std::nullopt;
  }
  return TRUE;
}

BOOL WINAPI GetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD cbBuf, LPDWORD pcbNeeded) {
  WINSPOOL_ENTRY(FALSE);
  const Printer* printer = nullptr;
  const InfoLevel<Printer>* level = StartGet(hPrinter, kPrinterLevels, Level, pcbNeeded, printer);
  if (level == nullptr) return FALSE;
  return WriteInfo(*level, {printer}, pPrinter, cbBuf, pcbNeeded) ? TRUE : FALSE;
}

// Needs PRINTER_ACCESS_ADMINISTER. Level 0 carries out `Command` alone
// (PRINTER_CONTROL_PURGE drops every job); level 2 sets the printer's
// fields, checked as AddPrinterW checks them.
BOOL WINAPI SetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD Command) {
  WINSPOOL_ENTRY(FALSE);
  const Handle* handle = FindPrinterHandle(hPrinter);
  if (handle == nullptr) return FALSE;
  Printer* printer = PrinterOfHandle(*handle);
  if (printer == nullptr || !HasAccess(*handle, PRINTER_ACCESS_ADMINISTER)) return FALSE;
  const bool known = Command <= PRINTER_CONTROL_SET_STATUS && !(Level == 0 && Command == 0);
  if (!ArgumentChecks().Level(Level, {0, 2}).Require(known, ERROR_INVALID_PRINTER_COMMAND)) return FALSE;
  if (Level == 2) {
    const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(pPrinter);
    if (info == nullptr) {
      Fail(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    if (!ValidPrinterName(info->pPrinterName)) {
      Fail(ERROR_INVALID_PRINTER_NAME);
      return FALSE;
    }
    const std::u16string name = FromWide(info->pPrinterName);
    const Printer* other = M().spooler.FindPrinter(name);
    if (other != nullptr && other != printer) {
      Fail(ERROR_PRINTER_ALREADY_EXISTS);
      return FALSE;
    }
    if (const DWORD error = CheckLinks(*info)) {
      Fail(error);
      return FALSE;
    }
    // A new name: the open handles follow the printer.
    for (auto& entry : M().handles.entries) {
      Handle& h = entry.second;
      if (h.kind == HandleKind::Printer && h.object == FoldCase(printer->name)) h.object = FoldCase(name);
    }
    auto& defaultPrinter = M().spooler.defaultPrinter;
    if (defaultPrinter && SameFolded(*defaultPrinter, printer->name)) defaultPrinter = name;
    M().spooler.printers.Rename(*printer, name);
    TakeSettings(*printer, *info);
  }
  switch (Command) {
    case PRINTER_CONTROL_PAUSE: printer->status |= PRINTER_STATUS_PAUSED; break;
    case PRINTER_CONTROL_RESUME: printer->status &= ~DWORD{PRINTER_STATUS_PAUSED}; break;
    case PRINTER_CONTROL_PURGE: printer->jobs.clear(); break;
    case PRINTER_CONTROL_SET_STATUS:
      if (pPrinter != nullptr && Level == 0) printer->status = *reinterpret_cast<const DWORD*>(pPrinter);
      break;
    default: break;
  }
  return TRUE;
}

// *pcchBuffer counts characters with the terminator, in and out. No default
// printer gives ERROR_FILE_NOT_FOUND.
BOOL WINAPI GetDefaultPrinterW(LPWSTR pszBuffer, LPDWORD pcchBuffer) {
  WINSPOOL_ENTRY(FALSE);
  if (!ArgumentChecks().Require(pcchBuffer != nullptr, ERROR_INVALID_PARAMETER)) return FALSE;
  const auto& name = M().spooler.defaultPrinter;
  if (!name) {
    Fail(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  const DWORD needed = static_cast<DWORD>(name->size() + 1);
  if (pszBuffer == nullptr || *pcchBuffer < needed) {
    *pcchBuffer = needed;
    Fail(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(pszBuffer, name->c_str(), needed * sizeof(WCHAR));
  *pcchBuffer = needed;
  return TRUE;
}

// A printer that does not exist gives ERROR_INVALID_PRINTER_NAME. NULL or ""
// keeps a default printer there is; without one, the first printer of the
// enumeration becomes the default.
BOOL WINAPI SetDefaultPrinterW(LPCWSTR pszPrinter) {
  WINSPOOL_ENTRY(FALSE);
  if (pszPrinter == nullptr || *pszPrinter == 0) {
    auto& defaultPrinter = M().spooler.defaultPrinter;
    if (defaultPrinter) return TRUE;
    if (const Printer* next = NextDefaultPrinter()) {
      defaultPrinter = next->name;
      return TRUE;
    }
    Fail(ERROR_INVALID_PRINTER_NAME);
    return FALSE;
  }
  Printer* p = M().spooler.FindPrinter(FromWide(pszPrinter));
  if (p == nullptr || p->deletePending) {
    Fail(ERROR_INVALID_PRINTER_NAME);
    return FALSE;
  }
  M().spooler.defaultPrinter = p->name;
  return TRUE;
}

// ============================================================================
// winspool: printer data, plain (the "PrinterDriverData" key) and under
// named keys. These calls return the error rather than setting it.

namespace {

const char16_t kPlainDataKey[] = u"PrinterDriverData";

bool IsText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// The spooler keeps text in UTF-16; the A calls convert on the way in and
// out through the machine's ANSI code page.
std::vector<BYTE> Widened(const BYTE* data, DWORD size) {
  std::vector<BYTE> wide(size * sizeof(WCHAR));
  for (std::size_t i = 0; i < size; ++i) {
    const char16_t c = FromAnsi(data[i]);
    wide[i * 2] = static_cast<BYTE>(c & 0xFF);
    wide[i * 2 + 1] = static_cast<BYTE>(c >> 8);
  }
  return wide;
}

std::vector<BYTE> Narrowed(const std::vector<BYTE>& wide) {
  std::vector<BYTE> narrow(wide.size() / sizeof(WCHAR));
  for (std::size_t i = 0; i < narrow.size(); ++i) {
    const WCHAR c = static_cast<WCHAR>(wide[i * 2] | (wide[i * 2 + 1] << 8));
    narrow[i] = static_cast<BYTE>(ToAnsi(c));
  }
  return narrow;
}

// The printer a data call acts on, or the error.
DWORD DataPrinter(HANDLE hPrinter, DWORD rights, Printer*& printer) {
  const Handle* handle = FindPrinterHandle(hPrinter);
  if (handle == nullptr) return ERROR_INVALID_HANDLE;
  printer = PrinterOfHandle(*handle);
  if (printer == nullptr) return ERROR_INVALID_HANDLE;
  if ((handle->access & rights) != rights) return ERROR_ACCESS_DENIED;
  return ERROR_SUCCESS;
}

DWORD GetData(HANDLE hPrinter, const std::u16string& key, LPCSTR pValueName, LPDWORD pType, LPBYTE pData, DWORD nSize,
              LPDWORD pcbNeeded) {
  Printer* printer = nullptr;
  if (const DWORD error = DataPrinter(hPrinter, 0, printer)) return error;
  if (key.empty() || pcbNeeded == nullptr) return ERROR_INVALID_PARAMETER;
  const auto values = printer->data.find(FoldCase(key));
  if (values == printer->data.end()) return ERROR_FILE_NOT_FOUND;
  const auto value = values->second.find(FoldCase(FromAnsi(pValueName)));
  if (value == values->second.end()) return ERROR_FILE_NOT_FOUND;
  const RegistryValue& stored = value->second;
  const std::vector<BYTE> data = IsText(stored.type) ? Narrowed(stored.data) : stored.data;
  *pcbNeeded = static_cast<DWORD>(data.size());
  if (pType != nullptr) *pType = stored.type;
  if (pData == nullptr || nSize < data.size()) return ERROR_MORE_DATA;
  std::memcpy(pData, data.data(), data.size());
  return ERROR_SUCCESS;
}

// Needs PRINTER_ACCESS_ADMINISTER.
DWORD SetData(HANDLE hPrinter, const std::u16string& key, LPCSTR pValueName, DWORD type, const BYTE* pData,
              DWORD cbData) {
  Printer* printer = nullptr;
  if (const DWORD error = DataPrinter(hPrinter, PRINTER_ACCESS_ADMINISTER, printer)) return error;
  if (key.empty() || (pData == nullptr && cbData != 0)) return ERROR_INVALID_PARAMETER;
  RegistryValue value;
  value.name = FromAnsi(pValueName);
  value.type = type;
  value.data = IsText(type) ? Widened(pData, cbData) : std::vector<BYTE>(pData, pData + cbData);
  printer->data[FoldCase(key)][FoldCase(value.name)] = value;
  return ERROR_SUCCESS;
}

}  // namespace

// The armed fault's error, then RPC_S_SERVER_UNAVAILABLE while the spooler
// is not running: returned, as these calls report errors.
#define WINSPOOL_DATA_ENTRY()                                                          \
  do {                                                                                 \
    if (!CallerRuns()) return M().lastError;                                           \
    if (const auto winsim_fault = M().TakeFault(__func__)) return winsim_fault->error; \
    if (!SpoolerRunning(M())) return static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE);     \
  } while (0)

DWORD WINAPI GetPrinterDataA(HANDLE hPrinter, LPSTR pValueName, LPDWORD pType, LPBYTE pData, DWORD nSize,
                             LPDWORD pcbNeeded) {
  WINSPOOL_DATA_ENTRY();
  return GetData(hPrinter, kPlainDataKey, pValueName, pType, pData, nSize, pcbNeeded);
}

DWORD WINAPI GetPrinterDataExA(HANDLE hPrinter, LPCSTR pKeyName, LPCSTR pValueName, LPDWORD pType, LPBYTE pData,
                               DWORD nSize, LPDWORD pcbNeeded) {
  WINSPOOL_DATA_ENTRY();
  return GetData(hPrinter, FromAnsi(pKeyName), pValueName, pType, pData, nSize, pcbNeeded);
}

DWORD WINAPI SetPrinterDataA(HANDLE hPrinter, LPSTR pValueName, DWORD Type, LPBYTE pData, DWORD cbData) {
  WINSPOOL_DATA_ENTRY();
  return SetData(hPrinter, kPlainDataKey, pValueName, Type, pData, cbData);
}

DWORD WINAPI SetPrinterDataExA(HANDLE hPrinter, LPCSTR pKeyName, LPCSTR pValueName, DWORD Type, LPBYTE pData,
                               DWORD cbData) {
  WINSPOOL_DATA_ENTRY();
  return SetData(hPrinter, FromAnsi(pKeyName), pValueName, Type, pData, cbData);
}
