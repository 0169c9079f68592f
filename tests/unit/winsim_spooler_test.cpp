// The spooler's hold on the files a driver was added from: a machine
// setting no conformance case can reach, so it is tested here.
#include <windows.h>
#include <winspool.h>

#include "test_support.h"

namespace {

using WinsimSpoolerTest = MachineTest;

// The spooler holds the staged files for Spooler::stagedHoldMs, or until it
// stops, whichever comes first.
TEST_F(WinsimSpoolerTest, StagedDriverFilesAreHeldUntilTheHoldEndsOrTheSpoolerStops) {
  for (const bool stopSpooler : {false, true}) {
    if (stopSpooler) winsim::EnterServiceState(machine(), SERVICE_RUNNING);
    machine().spooler.stagedHoldMs = 4000;
    WCHAR driver[] = u"C:\\staging\\held.dll", data[] = u"C:\\staging\\held.gpd", ui[] = u"C:\\staging\\heldui.dll";
    for (const WCHAR* path : {driver, data, ui}) machine().files.Put(path, std::vector<std::uint8_t>(8, 1));
    DRIVER_INFO_6W info = {};
    info.pName = const_cast<LPWSTR>(u"Held Driver");
    info.pDriverPath = driver;
    info.pDataFile = data;
    info.pConfigFile = ui;
    ASSERT_TRUE(AddPrinterDriverExW(nullptr, 6, reinterpret_cast<LPBYTE>(&info), APD_COPY_ALL_FILES));

    Sleep(3999);
    EXPECT_FALSE(DeleteFileW(driver));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    if (stopSpooler) {
      winsim::EnterServiceState(machine(), SERVICE_STOPPED);
    } else {
      Sleep(1);
    }
    for (const WCHAR* path : {driver, data, ui}) EXPECT_TRUE(DeleteFileW(path)) << winsim::Narrow(path);
    EXPECT_NE(machine().files.Find(u"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\held.dll"), nullptr);
  }
}

}  // namespace
