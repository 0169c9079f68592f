// winsim's files behave as Windows' do where the installer can tell.
#include <string>
#include <vector>

#include "test_support.h"

namespace {

const std::u16string kDll = u"C:\\Windows\\system32\\x.dll";

class WinsimFilesTest : public MachineTest {
 protected:
  WinsimFilesTest() { machine().files.Put(kDll, {1, 2, 3}); }
  HANDLE Open(const std::u16string& path, DWORD access, DWORD share, DWORD disposition = OPEN_EXISTING) {
    SetLastError(kPoisonError);
    return CreateFileW(path.c_str(), access, share, nullptr, disposition, 0, nullptr);
  }
  DWORD DeleteError(const std::u16string& path) {
    SetLastError(kPoisonError);
    return DeleteFileW(path.c_str()) ? ERROR_SUCCESS : GetLastError();
  }
  std::vector<std::u16string> Pending() {
    const winsim::RegistryValue* value =
        machine().registry.FindValue(winsim::kSessionManagerKey, winsim::kPendingRenamesValue);
    return value ? winsim::MultiStrings(value->data) : std::vector<std::u16string>{};
  }
};

TEST_F(WinsimFilesTest, HoldsRefuseWritersAndDeletersButNotSharingReadersUntilTheyEnd) {
  const int lock = winsim::LockFile(machine(), kDll, ERROR_ACCESS_DENIED);  // a loaded module
  HANDLE reader = Open(kDll, GENERIC_READ, FILE_SHARE_READ);
  EXPECT_NE(reader, INVALID_HANDLE_VALUE);
  CloseHandle(reader);
  EXPECT_EQ(Open(kDll, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(DeleteError(kDll), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  winsim::UnlockFile(machine(), lock);
  EXPECT_EQ(DeleteError(kDll), ERROR_SUCCESS);
  EXPECT_EQ(winsim::LockFile(machine(), u"C:\\none.dll"), 0) << "nothing to hold";

  // Other holds end when the spooler stops, or at their time.
  machine().files.Put(kDll, {1});
  winsim::LockFile(machine(), kDll, ERROR_ACCESS_DENIED, true);
  machine().files.Put(u"C:\\y.dll", {1});
  winsim::LockFile(machine(), u"C:\\y.dll", ERROR_SHARING_VIOLATION, false, 300);
  EXPECT_EQ(DeleteError(kDll), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  winsim::EnterServiceState(machine(), SERVICE_STOPPED);
  EXPECT_EQ(DeleteError(kDll), ERROR_SUCCESS);
  Sleep(299);
  EXPECT_EQ(DeleteError(u"C:\\y.dll"), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  Sleep(1);
  EXPECT_EQ(DeleteError(u"C:\\y.dll"), ERROR_SUCCESS);
}

TEST_F(WinsimFilesTest, AFullDiskTakesWhatFitsAndReportsIt) {
  machine().files.SetFreeBytes(5);
  HANDLE h = Open(kDll, GENERIC_WRITE, 0, OPEN_EXISTING);  // 3 bytes to overwrite, 5 to grow
  const BYTE data[10] = {9, 9, 9, 9, 9, 9, 9, 9, 9, 9};
  DWORD written = 12345;
  EXPECT_FALSE(WriteFile(h, data, 10, &written, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
  EXPECT_EQ(written, 8u);
  EXPECT_EQ(machine().files.FreeBytes(), 0u);
  CloseHandle(h);
}

TEST_F(WinsimFilesTest, DelayedMovesAreCarriedOutAtRestart) {
  machine().files.Put(u"C:\\Windows\\system32\\new.dll", {7});
  machine().files.Put(u"C:\\Windows\\system32\\old.dll", {8});
  winsim::LockFile(machine(), kDll);
  // A monitor's module too: the session manager runs before the spooler loads it.
  machine().spooler.monitors.push_back(winsim::Monitor{u"X", u"Windows x64", u"x.dll"});
  EXPECT_TRUE(MoveFileExW(kDll.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  EXPECT_TRUE(MoveFileExW(u"C:\\missing.dll", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  EXPECT_TRUE(MoveFileExW(u"C:\\Windows\\system32\\new.dll", u"C:\\Windows\\system32\\old.dll",
                          MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING));

  winsim::Restart(machine());
  EXPECT_EQ(machine().files.Find(kDll), nullptr);
  EXPECT_EQ(machine().files.Find(u"C:\\Windows\\system32\\new.dll"), nullptr);
  EXPECT_EQ(machine().files.Find(u"C:\\Windows\\system32\\old.dll")->data, std::vector<std::uint8_t>{7});
  EXPECT_TRUE(Pending().empty());
  EXPECT_TRUE(machine().files.holds.empty());
}

TEST_F(WinsimFilesTest, DelayedMovesNeedAWritableSessionManagerKey) {
  machine().registry.FindKey(winsim::kSessionManagerKey)->denied = KEY_SET_VALUE;
  SetLastError(kPoisonError);
  EXPECT_FALSE(MoveFileExW(kDll.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  machine().registry.FindKey(winsim::kSessionManagerKey)->denied = 0;
  machine().registry.SetDword(winsim::kSessionManagerKey, winsim::kPendingRenamesValue, 1);
  EXPECT_FALSE(MoveFileExW(kDll.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) << "not a list to append to";
}

TEST_F(WinsimFilesTest, TheVersionResourceTravelsWithTheBytes) {
  const std::u16string source = u"C:\\Program Files\\Ravelquill\\bin\\vexdrv64.dll";
  const std::vector<std::uint8_t> bytes = machine().files.Find(source)->data;
  HANDLE h = Open(u"C:\\copy.dll", GENERIC_WRITE, 0, CREATE_ALWAYS);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  DWORD written = 0;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size() - 1), &written, nullptr);
  EXPECT_FALSE(machine().files.Find(u"C:\\copy.dll")->version.has_value());
  WriteFile(h, &bytes.back(), 1, &written, nullptr);
  CloseHandle(h);
  ASSERT_TRUE(machine().files.Find(u"C:\\copy.dll")->version.has_value());
  EXPECT_EQ(machine().files.Find(u"C:\\copy.dll")->version->revision, 2446);
}

}  // namespace
