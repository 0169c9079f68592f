// Printer drivers: files copied into the driver store, enumeration and the
// printer's driver, and the refusals of adding and deleting.
#include "spooler_fixture.h"

using namespace conformance;

namespace {

Text DriverStore() { return DriverDirectory() + TEXT("\\3\\"); }

BOOL DeleteDriver(const WCHAR* name, DWORD flags) {
  return DeletePrinterDriverExW(nullptr, kX64, const_cast<LPWSTR>(name), flags, 0);
}

}  // namespace

// APD_COPY_ALL_FILES copies the files into the store's "3" directory, where
// the driver then names them; DPD_DELETE_ALL_FILES deletes them again.
CONFORMANCE_CASE(add_driver_copies_its_files_into_the_store) {
  expect(StagedDriver(TEXT("Conformance Driver"), TEXT("cdrv")).Add(), 0);
  const Text store = DriverStore();
  DWORD count = 0;
  std::vector<BYTE> block =
      Fetch([](LPBYTE b, DWORD size, LPDWORD needed,
               LPDWORD returned) { return EnumPrinterDriversW(nullptr, kX64, 6, b, size, needed, returned); },
            &count);
  const DRIVER_INFO_6W* driver = reinterpret_cast<const DRIVER_INFO_6W*>(block.data());
  while (count > 0 && !SameName(driver->pName, TEXT("Conformance Driver"))) --count, ++driver;
  ok(count > 0, "the driver is not listed");
  if (count > 0) {
    ok(SameName(driver->pDriverPath, store + TEXT("cdrv.dll")) &&
           SameName(driver->pDataFile, store + TEXT("cdrv.gpd")) &&
           SameName(driver->pConfigFile, store + TEXT("cdrvui.dll")),
       "the files are not in the store");
    ok(SameName(driver->pEnvironment, kX64), "environment");
  }
  ok(Exists(store + TEXT("cdrv.dll")) && Exists(store + TEXT("cdrvui.dll")), "the store has no copies");
  if (WineDiffers("DeletePrinterDriverExW refuses every delete flag with 87")) {
    expect(DeleteDriver(TEXT("Conformance Driver"), DPD_DELETE_ALL_FILES), ERROR_INVALID_PARAMETER);
    expect(DeleteDriver(TEXT("Conformance Driver"), 0), 0);
  } else {
    expect(DeleteDriver(TEXT("Conformance Driver"), DPD_DELETE_ALL_FILES), 0);
    ok(!Exists(store + TEXT("cdrv.dll")) && !Exists(store + TEXT("cdrv.gpd")), "the driver's files are left");
  }
}

// A driver whose staged file is missing is refused, as is an unknown
// environment, which has no driver directory either; that directory's size
// is in bytes.
CONFORMANCE_CASE(add_driver_refusals) {
  DWORD needed = kPoison;
  expect(GetPrinterDriverDirectoryW(nullptr, kX64, 1, nullptr, 0, &needed), ERROR_INSUFFICIENT_BUFFER);
  const Text directory = DriverDirectory();
  ok(needed == (directory.size() + 1) * sizeof(WCHAR) && directory.size() > 18 &&
         SameText(directory.c_str() + directory.size() - 18, TEXT("\\spool\\drivers\\x64"), true),
     "%lu bytes for %s", needed, Narrow(directory.c_str()).c_str());
  expect(GetPrinterDriverDirectoryW(nullptr, const_cast<LPWSTR>(TEXT("Windows Nowhere")), 1, nullptr, 0, &needed),
         ERROR_INVALID_ENVIRONMENT);
  StagedDriver staged(TEXT("Conformance Refused Driver"), TEXT("crdrv"));
  DeleteFileW(staged.files[2].c_str());
  if (expect(staged.Add(),
             WineDiffers("AddPrinterDriverExW does not notice a missing staged file") ? 0 : ERROR_FILE_NOT_FOUND)) {
    DeleteDriver(TEXT("Conformance Refused Driver"), 0);
  } else {
    ok(!Exists(DriverStore() + TEXT("crdrv.dll")), "a refused driver's file was copied");
  }
  StagedDriver elsewhere(TEXT("Conformance Refused Driver"), TEXT("crdrv"));
  elsewhere.info.pEnvironment = const_cast<LPWSTR>(TEXT("Windows Nowhere"));
  expect(elsewhere.Add(), ERROR_INVALID_ENVIRONMENT);
}

// An unknown driver is 1797, with a flag or without; a driver a printer uses
// is 3001 and stays. GetPrinterDriverW gives the printer's driver.
CONFORMANCE_CASE(delete_driver_refusals) {
  expect(DeleteDriver(TEXT("Conformance No Such Driver"), 0),
         WineDiffers("DeletePrinterDriverExW of an unknown driver sets no error") ? kPoison
                                                                                  : ERROR_UNKNOWN_PRINTER_DRIVER);
  expect(DeleteDriver(TEXT("Conformance No Such Driver"), DPD_DELETE_ALL_FILES),
         WineDiffers("DeletePrinterDriverExW checks the delete flag before the driver") ? ERROR_INVALID_PARAMETER
                                                                                        : ERROR_UNKNOWN_PRINTER_DRIVER);
  ScratchDriver driver(TEXT("Conformance Used Driver"), TEXT("cudrv"));
  {
    ScratchPrinter printer(TEXT("Conformance Driver User"), TEXT("FILE:"), driver.name);
    DWORD needed = kPoison;
    expect(GetPrinterDriverW(printer.handle, nullptr, 2, nullptr, 0, &needed), ERROR_INSUFFICIENT_BUFFER);
    std::vector<BYTE> block(needed != kPoison ? needed : 0);
    if (needed != kPoison) expect(GetPrinterDriverW(printer.handle, nullptr, 2, block.data(), needed, &needed), 0);
    if (block.size() >= sizeof(DRIVER_INFO_2W)) {
      const auto* info = reinterpret_cast<const DRIVER_INFO_2W*>(block.data());
      ok(info->cVersion == 3 && SameName(info->pName, driver.name) &&
             SameName(info->pDriverPath, DriverStore() + TEXT("cudrv.dll")),
         "version %lu, name or path", info->cVersion);
    }
    expect(DeleteDriver(driver.name, 0),
           WineDiffers("DeletePrinterDriverExW deletes a driver a printer uses") ? 0 : ERROR_PRINTER_DRIVER_IN_USE);
  }
}
