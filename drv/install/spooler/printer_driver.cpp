#include "printer_driver.h"

#include <stddef.h>

#include "../files/driver_file_copy.h"
#include "../shell/product.h"
#include "../shell/run_log.h"
#include "../shell/string_list.h"
#include "../shell/wide_text.h"
#include "spooler_service.h"

namespace {

// Entry sizes of levels 1 to 6, as the spooler packs them.
constexpr SIZE_T kEntrySizes[] = {sizeof(DRIVER_INFO_1W), sizeof(DRIVER_INFO_2W), sizeof(DRIVER_INFO_3W),
                                  sizeof(DRIVER_INFO_4W), sizeof(DRIVER_INFO_5W), sizeof(DRIVER_INFO_6W)};
static_assert(sizeof(void*) != 8 || (kEntrySizes[0] == 8 && kEntrySizes[1] == 48 && kEntrySizes[2] == 80 &&
                                     kEntrySizes[3] == 88 && kEntrySizes[4] == 64 && kEntrySizes[5] == 136),
              "driver info entries must have the x64 spooler's sizes");

// The name of entry `index`; null when it has none or the level's layout is
// unknown (such entries are never read, whatever Count says).
LPCWSTR EntryName(const DriverEnumeration& drivers, DWORD index) {
  if (!drivers.Buffer || index >= drivers.Count || drivers.Level < 1 || drivers.Level > 6) return nullptr;
  // cppcheck-suppress redundantInitialization ; it misreads SIZE_T{index} and blames drivers.Buffer
  const BYTE* entry = drivers.Buffer.Get() + SIZE_T{index} * kEntrySizes[drivers.Level - 1];
  const SIZE_T nameOffset = drivers.Level == 1 ? offsetof(DRIVER_INFO_1W, pName) : offsetof(DRIVER_INFO_2W, pName);
  return *reinterpret_cast<const LPCWSTR*>(entry + nameOffset);
}

BOOL DeleteProductDriver(LPCWSTR environment) {
  return DeletePrinterDriverExW(nullptr, const_cast<LPWSTR>(environment), const_cast<LPWSTR>(ProductDriverName),
                                DPD_DELETE_ALL_FILES, 0);
}

}  // namespace

void EnumPrinterDriversAll(DriverEnumeration& drivers, LPCWSTR environment) {
  drivers.Buffer.Reset();
  drivers.Level = 6;
  drivers.Count = 0;
  drivers.Error = 0;
  DWORD count = 0;
  auto enumerate = [environment, &count](LPBYTE block, DWORD size, LPDWORD needed) {
    return EnumPrinterDriversW(nullptr, const_cast<LPWSTR>(environment), 6, block, size, needed, &count);
  };
  DWORD needed = 0;
  const FetchOutcome outcome = FetchSpoolerBlock(enumerate, drivers.Buffer, needed);
  if (outcome != FetchOutcome::Filled) {
    if (outcome != FetchOutcome::NothingToFetch) drivers.Error = GetLastError();
    return;
  }
  drivers.Count = count;
}

LONG FindProductDriver(const DriverEnumeration& drivers) {
  for (DWORD i = 0; i < drivers.Count; ++i) {
    LPCWSTR name = EntryName(drivers, i);
    if (name != nullptr && WideEqual(name, ProductDriverName)) return static_cast<LONG>(i);
  }
  return -1;
}

HRESULT InstallPrinterDriver(InstallContext& context) {
  LogLine(context, TEXT(">Add Printer Driver"));
  LogDepthScope section(context, 1);
  LPCWSTR directory = TextString(context.DriverDir);
  if (directory == nullptr || directory[0] == 0) {
    // The driver directory could not be learnt (error 6, a spooler that does
    // not run): staging would scatter the files into the current directory.
    SetLastError(ERROR_PATH_NOT_FOUND);
    LogError(context, ErrorInstallDriver);
    return E_FAIL;
  }
  WCHAR driverPath[DestinationPathCapacity];
  WCHAR uiPath[DestinationPathCapacity];
  WCHAR helpPath[DestinationPathCapacity];
  HRESULT result = CopyDriverFile(context, directory, context.DriverFile, driverPath, true);
  if (result != S_OK) return result;
  result = CopyDriverFile(context, directory, context.UiFile, uiPath, true);
  if (result != S_OK) return result;
  // The help file is optional: without it the driver goes in without help.
  if (CopyDriverFile(context, directory, context.HelpFile, helpPath, true) != S_OK) helpPath[0] = 0;

  DRIVER_INFO_6W info{};
  info.cVersion = 3;
  info.pName = const_cast<LPWSTR>(ProductDriverName);
  info.pEnvironment = const_cast<LPWSTR>(context.Environment);
  info.pDriverPath = driverPath;
  info.pDataFile = driverPath;  // the driver module serves as its own data file
  info.pConfigFile = uiPath;
  info.pHelpFile = helpPath;
  info.pszMfgName = const_cast<LPWSTR>(ProductManufacturer);
  info.pszOEMUrl = const_cast<LPWSTR>(ProductUrl);
  info.pszProvider = const_cast<LPWSTR>(ProductManufacturer);
  if (AddPrinterDriverExW(nullptr, 6, reinterpret_cast<LPBYTE>(&info), APD_COPY_ALL_FILES)) {
    LogLine(context, TEXT("OK :)"));
  } else {
    LogError(context, ErrorInstallDriver);
    result = E_FAIL;
  }

  // The spooler keeps copies of its own; a staged copy it still holds is
  // deleted later, or at the next restart.
  LPCWSTR staged[] = {driverPath, uiPath, helpPath};
  for (LPCWSTR path : staged) {
    if (path[0] != 0 && !DeleteFileW(path)) StringListAdd(context.PendingDeletes, path);
  }
  return result;
}

void RemovePrinterDriver(InstallContext& context, const DriverEnumeration& drivers) {
  LogLine(context, TEXT(">DeletePrinterDriver for %s"), context.Environment);
  LogDepthScope section(context, 1);
  // Without the list the driver's presence is unknown: an uninstall that
  // said "not found" here would report a driver it left behind as removed.
  if (drivers.Error != 0) {
    SetLastError(drivers.Error);
    LogError(context, ErrorRemoveDriver);
    return;
  }
  const DWORD count = drivers.Buffer ? drivers.Count : 0;
  if (count != 0) {
    LogLine(context, TEXT("------------ %d existing drivers-----------"), static_cast<int>(count));
    for (DWORD i = 0; i < count; ++i) {
      LPCWSTR name = EntryName(drivers, i);
      LogLine(context, TEXT("%d. %s"), static_cast<int>(i + 1), name != nullptr ? name : TEXT("***EMPTY***"));
    }
    LogLine(context, TEXT("-------------------------------------------"));
  } else {
    LogLine(context, TEXT("BTW, there is no printer drivers on this system."));
  }

  const LONG index = FindProductDriver(drivers);
  if (index < 0) {
    LogLine(context, TEXT("No Ravelquill driver was found"));
    return;
  }
  LogLine(context, TEXT("Driver is found. Index=%d"), static_cast<int>(index + 1));
  if (!DeleteProductDriver(context.Environment)) {
    LogLine(context, TEXT("Can't delete driver. Trying to restart spooler"));
    // A full stop and start makes the spooler let go of the driver's files.
    { SpoolerRestartScope restart(&context); }
    if (!DeleteProductDriver(context.Environment)) {
      LogError(context, ErrorRemoveDriver);
      return;
    }
  }
  LogLine(context, TEXT("OK :)"));
}

GlobalBlock<DRIVER_INFO_2W> GetPrinterDriverInfo(HANDLE printer) {
  // The sizing call names the environment; the fetch takes the program's
  // own, which for this 64-bit program is the same.
  auto get = [printer](LPBYTE block, DWORD size, LPDWORD needed) {
    LPWSTR environment = block == nullptr ? const_cast<LPWSTR>(X64Modules.Environment) : nullptr;
    return GetPrinterDriverW(printer, environment, 2, block, size, needed);
  };
  GlobalBlock<DRIVER_INFO_2W> block;
  DWORD needed = 0;
  FetchSpoolerBlock(get, block, needed);
  return block;
}
