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

TEST_F(WinsimFilesTest, OpenTellsMissingFileFromMissingDirectoryAndRefusesDirectories) {
  EXPECT_EQ(Open(u"C:\\Windows\\system32\\none.dll", GENERIC_READ, 0), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(Open(u"C:\\NoDir\\none.dll", GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(Open(u"C:\\Windows", GENERIC_READ, 0), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  const std::u16string longPath = u"C:\\" + std::u16string(200, u'p') + u"\\" + std::u16string(100, u'q');
  machine().files.AddDirectory(u"C:\\" + std::u16string(200, u'p'));
  EXPECT_EQ(Open(longPath, GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  HANDLE verbatim = Open(u"\\\\?\\" + longPath, GENERIC_WRITE, 0, CREATE_ALWAYS);  // no length limit
  ASSERT_NE(verbatim, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(CloseHandle(verbatim));
  EXPECT_TRUE(DeleteFileW((u"\\\\?\\" + longPath).c_str()));

  // Relative, "/" and ".." name the same file, in any case.
  HANDLE h = Open(u"c:/WINDOWS/System32/../system32/X.DLL", GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_TRUE(machine().files.Find(u"x.dll")->data.empty()) << "truncated";
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_FALSE(CloseHandle(h));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(WinsimFilesTest, SharingIsCheckedBothWaysAgainstOpenHandlesAndOtherProcesses) {
  HANDLE reader = Open(kDll, GENERIC_READ, FILE_SHARE_READ);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Open(kDll, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(DeleteError(kDll), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  CloseHandle(reader);

  const int lock = winsim::LockFile(machine(), kDll, ERROR_ACCESS_DENIED);  // a loaded module
  HANDLE second = Open(kDll, GENERIC_READ, FILE_SHARE_READ);
  EXPECT_NE(second, INVALID_HANDLE_VALUE) << "readers may share it";
  CloseHandle(second);
  EXPECT_EQ(Open(kDll, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(DeleteError(kDll), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  winsim::UnlockFile(machine(), lock);
  EXPECT_EQ(winsim::LockFile(machine(), u"C:\\none.dll"), 0) << "nothing to hold";

  HANDLE shared = Open(kDll, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE);
  EXPECT_EQ(DeleteError(kDll), ERROR_SUCCESS);
  EXPECT_EQ(GetFileAttributesW(kDll.c_str()), INVALID_FILE_ATTRIBUTES) << "delete pending";
  CloseHandle(shared);
  EXPECT_EQ(machine().files.Find(kDll), nullptr) << "gone with its last handle";
  EXPECT_EQ(DeleteError(kDll), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(WinsimFilesTest, HoldsEndWhenTheSpoolerStopsOrAtTheirTime) {
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

TEST_F(WinsimFilesTest, DeleteRefusesDirectoriesAndReadOnlyFiles) {
  EXPECT_EQ(DeleteError(u"C:\\Windows\\system32"), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  machine().files.Find(kDll)->attributes |= FILE_ATTRIBUTE_READONLY;
  EXPECT_EQ(DeleteError(kDll), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(DeleteError(u"C:\\NoDir\\x.dll"), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(GetFileAttributesW(u"C:\\Windows"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(GetFileAttributesW(u"C:\\"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  machine().files.Find(kDll)->attributes = 0;
  EXPECT_EQ(GetFileAttributesW(kDll.c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
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

TEST_F(WinsimFilesTest, DelayedMovesAreRecordedAsWindowsRecordsThemAndCarriedOutAtRestart) {
  machine().files.Put(u"C:\\Windows\\system32\\new.dll", {7});
  machine().files.Put(u"C:\\Windows\\system32\\old.dll", {8});
  machine().files.currentDirectory = u"C:\\Windows\\system32";
  winsim::LockFile(machine(), kDll);
  EXPECT_TRUE(MoveFileExW(u"x.dll", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  EXPECT_TRUE(MoveFileExW(u"C:\\missing.dll", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  EXPECT_TRUE(MoveFileExW(u"C:\\Windows\\system32\\new.dll", u"C:\\Windows\\system32\\old.dll",
                          MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(Pending(), (std::vector<std::u16string>{u"\\??\\" + kDll, u"", u"\\??\\C:\\missing.dll", u"",
                                                    u"\\??\\C:\\Windows\\system32\\new.dll",
                                                    u"!\\??\\C:\\Windows\\system32\\old.dll"}));
  EXPECT_EQ(machine().registry.FindValue(winsim::kSessionManagerKey, winsim::kPendingRenamesValue)->data.size() % 2,
            0u);

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
