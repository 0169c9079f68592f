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

TEST_F(WinsimRegistryTest, KeysDenyingRightsRefuseThemWhenOpenedAndWhenCreatingBelow) {
  machine().registry.FindKey(winsim::kSessionManagerKey)->denied = KEY_SET_VALUE | KEY_CREATE_SUB_KEY;
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_WRITE, &key), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_ALL_ACCESS, &key), ERROR_ACCESS_DENIED);
  key = Open(kSessionManager, KEY_READ);
  RegCloseKey(key);
  EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, kSessionManager), ERROR_ACCESS_DENIED);

  machine().registry.FindKey(u"HKLM\\SOFTWARE")->denied = KEY_CREATE_SUB_KEY;
  EXPECT_EQ(
      RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
      ERROR_ACCESS_DENIED);
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

}  // namespace
