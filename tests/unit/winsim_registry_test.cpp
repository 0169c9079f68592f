// winsim's registry behaves as Windows' does where the installer can tell.
#include <cstring>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

const char16_t kSessionManager[] = u"SYSTEM\\CurrentControlSet\\Control\\Session Manager";

class WinsimRegistryTest : public MachineTest {
 protected:
  HKEY Open(const char16_t* path, REGSAM access) {
    HKEY key = reinterpret_cast<HKEY>(0x1);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, access, &key), ERROR_SUCCESS);
    return key;
  }
};

TEST_F(WinsimRegistryTest, QueriesSizeFirstThenDataAndSaysWhatIsMissing) {
  machine().registry.SetMultiString(winsim::kSessionManagerKey, winsim::kPendingRenamesValue, {u"\\??\\C:\\a", u""});
  HKEY key = Open(u"system\\currentcontrolset\\CONTROL\\session manager", KEY_READ);
  ASSERT_EQ(machine().handles.CountOf(machine().caller), 1u);
  DWORD type = 0, size = 0;
  EXPECT_EQ(RegQueryValueExW(key, u"pendingfilerenameoperations", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_MULTI_SZ);
  EXPECT_EQ(size, (8u + 1 + 1 + 1) * 2);
  std::vector<BYTE> data(size, 0xEE);
  DWORD small = size - 1;
  EXPECT_EQ(RegQueryValueExW(key, u"PendingFileRenameOperations", nullptr, nullptr, data.data(), &small),
            ERROR_MORE_DATA);
  EXPECT_EQ(small, size);
  EXPECT_EQ(RegQueryValueExW(key, u"PendingFileRenameOperations", nullptr, nullptr, data.data(), &size), ERROR_SUCCESS);
  EXPECT_EQ(data, winsim::MultiStringBytes({u"\\??\\C:\\a", u""}));
  EXPECT_EQ(RegQueryValueExW(key, u"Nothing", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegSetValueExW(key, u"x", 0, REG_DWORD, data.data(), 4), ERROR_ACCESS_DENIED) << "opened to read";
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);

  HKEY none = reinterpret_cast<HKEY>(0x1);
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SYSTEM\\NoSuchKey", 0, KEY_READ, &none), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(GetLastError(), kPoisonError) << "registry calls leave the last error alone";
}

TEST_F(WinsimRegistryTest, AccessIsCheckedWhenOpeningAndOnEachCall) {
  machine().registry.FindKey(winsim::kSessionManagerKey)->denied = KEY_SET_VALUE | KEY_CREATE_SUB_KEY;
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_WRITE, &key), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_ALL_ACCESS, &key), ERROR_ACCESS_DENIED);
  key = Open(kSessionManager, KEY_READ);
  RegCloseKey(key);

  key = Open(u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", KEY_WRITE);
  const DWORD one = 1;
  EXPECT_EQ(RegSetValueExW(key, u"Tray", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(key, u"Tray", nullptr, nullptr, nullptr, &size), ERROR_ACCESS_DENIED) << "write only";
  EXPECT_EQ(RegDeleteValueA(key, "TRAY"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueA(key, "Tray"), ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
}

TEST_F(WinsimRegistryTest, AnsiCallsUseTheWindows1252Page) {
  // "Caf\u00e9 \u20ac5" stored wide; the A calls see and name it in Windows-1252.
  machine().registry.SetString(u"HKCU\\Software\\Caf\u00e9", u"Pr\u00efx", u"Caf\u00e9 \u20ac5 \u0416");
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Caf\xe9", 0, KEY_READ, &key), ERROR_SUCCESS);
  char text[16] = {};
  DWORD size = sizeof(text);
  EXPECT_EQ(RegQueryValueExA(key, "Pr\xefx", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 10u);
  EXPECT_STREQ(text,
               "Caf\xe9 \x80"
               "5 ?");
  RegCloseKey(key);
}

TEST_F(WinsimRegistryTest, CreateMakesTheMissingKeysOrOpensAnExistingOne) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Morvath Software KFT\\Ravelquill", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  EXPECT_NE(machine().registry.FindKey(u"HKEY_CURRENT_USER\\Software\\Morvath Software KFT"), nullptr);
  RegCloseKey(key);
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\morvath software kft\\RAVELQUILL", 0, nullptr, 0, KEY_READ,
                            nullptr, &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  RegCloseKey(key);

  machine().registry.FindKey(u"HKLM\\SOFTWARE")->denied = KEY_CREATE_SUB_KEY;
  EXPECT_EQ(
      RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
      ERROR_ACCESS_DENIED);
}

}  // namespace
