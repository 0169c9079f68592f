// Printer drivers: files copied into the driver store, enumeration and the
// printer's driver, and the refusals of adding and deleting.
#include "spooler_fixture.h"

using namespace conformance;

namespace {

Text DriverStore() {
  WCHAR directory[MAX_PATH];
  DWORD needed = 0;
  GetPrinterDriverDirectoryW(nullptr, const_cast<LPWSTR>(TEXT("Windows x64")), 1, reinterpret_cast<LPBYTE>(directory),
                             sizeof(directory), &needed);
  return Text(directory) + TEXT("\\3\\");
}

const DRIVER_INFO_6W* FindDriver(const std::vector<BYTE>& block, DWORD count, const WCHAR* name) {
  const auto* drivers = reinterpret_cast<const DRIVER_INFO_6W*>(block.data());
  for (DWORD i = 0; i < count; ++i) {
    if (SameText(drivers[i].pName, name)) return &drivers[i];
  }
  return nullptr;
}

BOOL DeleteDriver(const WCHAR* name, DWORD flags) {
  PoisonError();
  return DeletePrinterDriverExW(nullptr, const_cast<LPWSTR>(TEXT("Windows x64")), const_cast<LPWSTR>(name), flags, 0);
}

}  // namespace

// APD_COPY_ALL_FILES copies the files into the store's "3" directory, where
// the driver then names them; DPD_DELETE_ALL_FILES deletes them again.
CONFORMANCE_CASE(add_driver_copies_its_files_into_the_store) {
  ok(AddDummyDriver(TEXT("Conformance Driver"), TEXT("cdrv")), "AddPrinterDriverExW failed with %lu", GetLastError());
  const Text store = DriverStore();
  DWORD count = 0;
  std::vector<BYTE> block = Fetch(
      [](LPBYTE b, DWORD size, LPDWORD needed, LPDWORD returned) {
        return EnumPrinterDriversW(nullptr, const_cast<LPWSTR>(TEXT("Windows x64")), 6, b, size, needed, returned);
      },
      &count);
  const DRIVER_INFO_6W* driver = FindDriver(block, count, TEXT("Conformance Driver"));
  ok(driver != nullptr, "the driver is not listed");
  if (driver != nullptr) {
    ok(SameText(driver->pDriverPath, store + TEXT("cdrv.dll")), "driver path is not in the store");
    ok(SameText(driver->pDataFile, store + TEXT("cdrv.gpd")), "data file is not in the store");
    ok(SameText(driver->pConfigFile, store + TEXT("cdrvui.dll")), "config file is not in the store");
    ok(SameText(driver->pEnvironment, TEXT("Windows x64")), "environment");
  }
  ok(Exists(store + TEXT("cdrv.dll")) && Exists(store + TEXT("cdrvui.dll")), "the store has no copies");

  BOOL deleted = DeleteDriver(TEXT("Conformance Driver"), DPD_DELETE_ALL_FILES);
  if (WineDiffers("DeletePrinterDriverExW refuses every delete flag with 87")) {
    ok(!deleted, "deleted with a flag");
    ok_error(ERROR_INVALID_PARAMETER);
    ok(DeleteDriver(TEXT("Conformance Driver"), 0), "DeletePrinterDriverExW failed with %lu", GetLastError());
  } else {
    ok(deleted, "DeletePrinterDriverExW failed with %lu", GetLastError());
    ok(!Exists(store + TEXT("cdrv.dll")) && !Exists(store + TEXT("cdrv.gpd")), "the driver's files are left");
  }
}

// A driver whose staged file is missing is refused, as is an unknown
// environment and a level AddPrinterDriverExW does not have.
CONFORMANCE_CASE(add_driver_refusals) {
  DriverFiles files = StageDriverFiles(TEXT("crdrv"));
  DeleteFileW(files.config.c_str());
  DRIVER_INFO_6W info = DriverInfo(TEXT("Conformance Refused Driver"), files);
  PoisonError();
  const BOOL added = AddPrinterDriverExW(nullptr, 6, reinterpret_cast<LPBYTE>(&info), APD_COPY_ALL_FILES);
  if (WineDiffers("AddPrinterDriverExW does not notice a missing staged file")) {
    ok(added, "AddPrinterDriverExW failed with %lu", GetLastError());
    RemoveDriver(TEXT("Conformance Refused Driver"));
  } else {
    ok(!added, "a driver with a missing file was added");
    ok_error(ERROR_FILE_NOT_FOUND);
    ok(!Exists(DriverStore() + TEXT("crdrv.dll")), "a refused driver's file was copied");
  }
  WriteBytes(files.config, "config");
  info.pEnvironment = const_cast<LPWSTR>(TEXT("Windows Nowhere"));
  PoisonError();
  ok(!AddPrinterDriverExW(nullptr, 6, reinterpret_cast<LPBYTE>(&info), APD_COPY_ALL_FILES), "unknown environment");
  ok_error(ERROR_INVALID_ENVIRONMENT);
  files.Remove();
}

// An unknown driver is 1797, with a flag or without; a driver a printer uses
// is 3001 and stays.
CONFORMANCE_CASE(delete_driver_refusals) {
  BOOL deleted = DeleteDriver(TEXT("Conformance No Such Driver"), 0);
  ok(!deleted, "an unknown driver was deleted");
  if (WineDiffers("DeletePrinterDriverExW of an unknown driver sets no error")) {
    ok_error(kPoison);
  } else {
    ok_error(ERROR_UNKNOWN_PRINTER_DRIVER);
  }
  ok(!DeleteDriver(TEXT("Conformance No Such Driver"), DPD_DELETE_ALL_FILES), "unknown driver deleted with a flag");
  ok_error(WineDiffers("DeletePrinterDriverExW checks the delete flag before the driver")
               ? ERROR_INVALID_PARAMETER
               : ERROR_UNKNOWN_PRINTER_DRIVER);

  ok(AddDummyDriver(TEXT("Conformance Used Driver"), TEXT("cudrv")), "driver not added: %lu", GetLastError());
  PrinterSpec spec(TEXT("Conformance Driver User"), TEXT("FILE:"), TEXT("Conformance Used Driver"));
  HANDLE printer = AddPrinterW(nullptr, 2, spec.Bytes());
  ok(printer != nullptr, "AddPrinterW failed with %lu", GetLastError());

  // The printer's driver, level 2, as GetPrinterDriverW gives it.
  DWORD needed = kPoison;
  PoisonError();
  ok(!GetPrinterDriverW(printer, nullptr, 2, nullptr, 0, &needed), "sizing call succeeded");
  ok_error(ERROR_INSUFFICIENT_BUFFER);
  std::vector<BYTE> block(needed != kPoison ? needed : 0);
  ok(needed != kPoison && GetPrinterDriverW(printer, nullptr, 2, block.data(), needed, &needed),
     "GetPrinterDriverW failed with %lu", GetLastError());
  if (block.size() >= sizeof(DRIVER_INFO_2W)) {
    const auto* info = reinterpret_cast<const DRIVER_INFO_2W*>(block.data());
    ok(info->cVersion == 3, "version %lu", info->cVersion);
    ok(SameText(info->pName, TEXT("Conformance Used Driver")), "driver name");
    ok(SameText(info->pDriverPath, DriverStore() + TEXT("cudrv.dll")), "driver path");
  }
  if (printer != nullptr) ClosePrinter(printer);

  deleted = DeleteDriver(TEXT("Conformance Used Driver"), 0);
  if (WineDiffers("DeletePrinterDriverExW deletes a driver a printer uses")) {
    ok(deleted, "DeletePrinterDriverExW failed with %lu", GetLastError());
  } else {
    ok(!deleted, "a driver in use was deleted");
    ok_error(ERROR_PRINTER_DRIVER_IN_USE);
  }
  ok(RemovePrinter(TEXT("Conformance Driver User")), "the printer was not deleted");
  RemoveDriver(TEXT("Conformance Used Driver"));
}
