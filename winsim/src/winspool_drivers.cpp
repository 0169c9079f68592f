// winspool: printer drivers and their files in the driver store.
#include "winspool_internal.h"

using namespace winsim;

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
  if (Level != 2 && Level != 3 && Level != 4 && Level != 6) {
    Fail(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  if (!IsLocalServer(pName)) {
    Fail(ERROR_INVALID_NAME);
    return FALSE;
  }
  const auto* info = reinterpret_cast<const DRIVER_INFO_6W*>(pDriverInfo);
  if (info == nullptr || IsLocalServer(info->pName) || IsLocalServer(info->pDriverPath) ||
      IsLocalServer(info->pDataFile) || IsLocalServer(info->pConfigFile)) {
    Fail(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Machine& machine = M();
  const std::u16string environment = EnvironmentOf(info->pEnvironment);
  if (!FindEnvironmentOrFail(environment)) return FALSE;
  const PrintEnvironment& store = *machine.spooler.FindEnvironment(environment);

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
    const File source = *machine.files.Find(sources[i]);
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
    *existing = driver;
  } else {
    machine.spooler.drivers.push_back(driver);
  }
  return TRUE;
}

// A driver that a printer uses stays (ERROR_PRINTER_DRIVER_IN_USE).
// DPD_DELETE_UNUSED_FILES and DPD_DELETE_ALL_FILES also delete its files that
// no other driver names.
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
  std::vector<std::u16string> files = {driver->driverPath, driver->dataFile, driver->configFile, driver->helpFile};
  files.insert(files.end(), driver->dependentFiles.begin(), driver->dependentFiles.end());
  spooler.drivers.erase(spooler.drivers.begin() + (driver - spooler.drivers.data()));
  if (!(dwDeleteFlag & (DPD_DELETE_UNUSED_FILES | DPD_DELETE_ALL_FILES))) return TRUE;
  for (const auto& file : files) {
    if (file.empty()) continue;
    const bool shared = std::any_of(spooler.drivers.begin(), spooler.drivers.end(), [&](const Driver& other) {
      for (const std::u16string* path : {&other.driverPath, &other.dataFile, &other.configFile, &other.helpFile}) {
        if (FoldCase(*path) == FoldCase(file)) return true;
      }
      return std::any_of(other.dependentFiles.begin(), other.dependentFiles.end(),
                         [&](const std::u16string& path) { return FoldCase(path) == FoldCase(file); });
    });
    if (!shared) DeletePath(M(), file);
  }
  return TRUE;
}

// pEnvironment "all" lists every environment's drivers.
BOOL WINAPI EnumPrinterDriversW(LPWSTR pName, LPWSTR pEnvironment, DWORD Level, LPBYTE pDriverInfo, DWORD cbBuf,
                                LPDWORD pcbNeeded, LPDWORD pcReturned) {
  WINSPOOL_ENTRY(FALSE);
  const InfoLevel<Driver>* level = StartEnum(kDriverLevels, Level, pName, pcbNeeded, pcReturned);
  if (level == nullptr) return FALSE;
  const std::u16string environment = EnvironmentOf(pEnvironment);
  const bool all = FoldCase(environment) == u"ALL";
  if (!all && !FindEnvironmentOrFail(environment)) return FALSE;
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
  if (level == nullptr) return FALSE;
  const std::u16string environment = EnvironmentOf(pEnvironment);
  if (!FindEnvironmentOrFail(environment)) return FALSE;
  const Driver* driver = M().spooler.FindDriver(printer->driver, environment);
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
  if (!IsLocalServer(pName)) {
    Fail(ERROR_INVALID_NAME);
    return FALSE;
  }
  if (Level != 1) {
    Fail(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  if (pcbNeeded == nullptr) {
    Fail(RPC_X_NULL_REF_POINTER);
    return FALSE;
  }
  const std::u16string environment = EnvironmentOf(pEnvironment);
  if (!FindEnvironmentOrFail(environment)) return FALSE;
  const std::u16string& directory = M().spooler.FindEnvironment(environment)->driverDirectory;
  const DWORD needed = static_cast<DWORD>((directory.size() + 1) * sizeof(WCHAR));
  *pcbNeeded = needed;
  if (pDriverDirectory == nullptr || cbBuf < needed) {
    Fail(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(pDriverDirectory, directory.c_str(), needed);
  return TRUE;
}
