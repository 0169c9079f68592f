// Printer drivers: the driver directory, files copied into the store and
// deleted from it, and the refusals of adding and deleting.
#include "spooler_fixture.h"

using namespace conformance;

namespace {

BOOL DeleteDriver(const WCHAR* name, DWORD flags) { return DeletePrinterDriverExW(nullptr, kX64, W(name), flags, 0); }

bool DriverListed(const WCHAR* name) {
  DWORD count = 0;
  std::vector<BYTE> block =
      Fetch([](LPBYTE b, DWORD size, LPDWORD n,
               LPDWORD returned) { return EnumPrinterDriversW(nullptr, kX64, 2, b, size, n, returned); },
            &count);
  for (DWORD i = 0; i < count; ++i) {
    if (SameName(reinterpret_cast<const DRIVER_INFO_2W*>(block.data())[i].pName, name)) return true;
  }
  return false;
}

}  // namespace

// The driver directory's size is in bytes; an unknown environment has none.
// APD_COPY_ALL_FILES copies the files into the store's "3" directory, where
// the driver then names them; DPD_DELETE_ALL_FILES deletes them again. A
// missing staged file is refused, as is an unknown driver (with a flag or not).
CONFORMANCE_CASE(printer_drivers) {
  DWORD needed = kPoison, count = 0;
  expect(GetPrinterDriverDirectoryW(nullptr, kX64, 1, nullptr, 0, &needed), ERROR_INSUFFICIENT_BUFFER);
  const Text directory = DriverDirectory(), store = directory + TEXT("\\3\\");
  ok(needed == (directory.size() + 1) * sizeof(WCHAR) && directory.size() > 18 &&
         SameName(directory.c_str() + directory.size() - 18, TEXT("\\spool\\drivers\\x64")),
     "%lu bytes for %s", needed, Narrow(directory.c_str()).c_str());
  expect(GetPrinterDriverDirectoryW(nullptr, W(TEXT("Windows Nowhere")), 1, nullptr, 0, &needed),
         ERROR_INVALID_ENVIRONMENT);

  Driver driver(TEXT("Conformance Driver"), TEXT("cdrv"));
  expect(driver.Add(), 0);
  std::vector<BYTE> block =
      Fetch([](LPBYTE b, DWORD size, LPDWORD n,
               LPDWORD returned) { return EnumPrinterDriversW(nullptr, kX64, 6, b, size, n, returned); },
            &count);
  const auto* listed = reinterpret_cast<const DRIVER_INFO_6W*>(block.data());
  while (count > 0 && !SameName(listed->pName, driver.info.pName)) --count, ++listed;
  ok(count > 0 && SameName(listed->pDriverPath, store + TEXT("cdrv.dll")) &&
         SameName(listed->pConfigFile, store + TEXT("cdrvui.dll")) && Exists(store + TEXT("cdrvui.dll")),
     "the driver is not listed with its files in the store");
  const bool noFlags = WineDiffers("DeletePrinterDriverExW refuses every delete flag with 87");
  expect(DeleteDriver(driver.info.pName, DPD_DELETE_ALL_FILES), noFlags ? ERROR_INVALID_PARAMETER : 0);
  ok(noFlags || !Exists(store + TEXT("cdrv.dll")), "the driver's files are left");

  Driver refused(TEXT("Conformance Refused Driver"), TEXT("crdrv"));
  DeleteFileW(refused.files[2].c_str());
  const bool added =
      expect(refused.Add(),
             WineDiffers("AddPrinterDriverExW does not notice a missing staged file") ? 0 : ERROR_FILE_NOT_FOUND);
  ok(added || !Exists(store + TEXT("crdrv.dll")), "a refused driver's file was copied");
  expect(DeleteDriver(TEXT("No Such Driver"), 0),
         WineDiffers("DeletePrinterDriverExW of an unknown driver sets no error") ? kPoison
                                                                                  : ERROR_UNKNOWN_PRINTER_DRIVER);
  expect(DeleteDriver(TEXT("No Such Driver"), DPD_DELETE_ALL_FILES),
         WineDiffers("DeletePrinterDriverExW checks the delete flag before the driver") ? ERROR_INVALID_PARAMETER
                                                                                        : ERROR_UNKNOWN_PRINTER_DRIVER);
}

// Two drivers naming one data file. DPD_DELETE_ALL_FILES refuses the first
// (3001) and deletes nothing; DPD_DELETE_UNUSED_FILES deletes it with the
// files only it names and keeps the shared one; the driver left naming that
// file alone is then deleted with all its files.
CONFORMANCE_CASE(drivers_sharing_a_file) {
  Driver first(TEXT("Conformance First Driver"), TEXT("cfdrv"));
  Driver second(TEXT("Conformance Second Driver"), TEXT("csdrv"));
  second.info.pDataFile = first.info.pDataFile;
  if (!expect(first.Add(), 0) || !expect(second.Add(), 0)) return;
  const Text store = DriverDirectory() + TEXT("\\3\\");
  const bool noFlags = WineDiffers("DeletePrinterDriverExW refuses every delete flag with 87");
  const struct {
    const Driver& driver;
    DWORD flags, error;
    bool firstLeft, secondLeft, sharedLeft;  // the drivers listed, their own files and the shared one there
  } steps[] = {
      {first, DPD_DELETE_ALL_FILES, ERROR_PRINTER_DRIVER_IN_USE, true, true, true},
      {first, DPD_DELETE_UNUSED_FILES, 0, false, true, true},
      {second, DPD_DELETE_ALL_FILES, 0, false, false, false},
  };
  for (const auto& s : steps) {
    const Row row("%s, flags %lu", Narrow(s.driver.info.pName).c_str(), s.flags);
    expect(DeleteDriver(s.driver.info.pName, s.flags), noFlags ? ERROR_INVALID_PARAMETER : s.error);
    const bool firstLeft = noFlags || s.firstLeft, secondLeft = noFlags || s.secondLeft;
    ok(DriverListed(first.info.pName) == firstLeft && DriverListed(second.info.pName) == secondLeft,
       "the drivers listed");
    ok(Exists(store + TEXT("cfdrv.dll")) == firstLeft && Exists(store + TEXT("cfdrvui.dll")) == firstLeft,
       "the first driver's own files");
    ok(Exists(store + TEXT("csdrv.dll")) == secondLeft && Exists(store + TEXT("csdrvui.dll")) == secondLeft,
       "the second driver's own files");
    ok(Exists(store + TEXT("cfdrv.gpd")) == (noFlags || s.sharedLeft), "the shared file");
  }
}
