// The simulated machine's core calls behave as Windows documents them: the
// installer's own tests are only as good as these.
#include <windows.h>
#include <winspool.h>

#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <winsim/machine_json.h>

#include "test_support.h"

namespace {

using WinsimCoreTest = MachineTest;

// Level 2 only: the installer asks for nothing else.
TEST_F(WinsimCoreTest, NoPrintersIsASuccessfulEmptyEnumerationAtLevel2Only) {
  machine().spooler.printers.clear();
  DWORD needed = 7;
  DWORD count = 7;
  EXPECT_TRUE(EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 2, nullptr, 0, &needed, &count));
  EXPECT_EQ(needed, 0u);
  EXPECT_EQ(count, 0u);
  EXPECT_FALSE(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 1, nullptr, 0, &needed, &count));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
}

TEST_F(WinsimCoreTest, HeapsRefuseBlocksTheyDidNotHandOut) {
  int local = 0;
  EXPECT_EQ(GlobalFree(&local), &local);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  void* block = GlobalAlloc(GPTR, 16);
  EXPECT_EQ(static_cast<BYTE*>(block)[15], 0);
  EXPECT_EQ(LocalFree(block), block) << "a global block is not a local one";
  EXPECT_EQ(GlobalFree(block), nullptr);
  EXPECT_EQ(GlobalFree(nullptr), nullptr);
}

TEST_F(WinsimCoreTest, ClockDispatchesEventsInTimeOrderAsSleepPassesThem) {
  const std::u16string late = u"C:\\late.dll", early = u"C:\\early.dll";
  machine().files.Put(late, {1});
  machine().files.Put(early, {2});
  winsim::LockFile(machine(), late, ERROR_SHARING_VIOLATION, false, 300);
  winsim::LockFile(machine(), early, ERROR_SHARING_VIOLATION, false, 100);
  auto held = [&] {
    std::vector<std::u16string> paths;
    for (const auto& hold : machine().files.holds) paths.push_back(hold.key);
    return paths;
  };
  Sleep(250);
  EXPECT_EQ(held(), std::vector<std::u16string>{winsim::FoldCase(late)});
  Sleep(50);
  EXPECT_TRUE(held().empty());
  machine().clock.tickBase = 0xFFFFFF00u;
  EXPECT_EQ(GetTickCount(), 0xFFFFFF00u + 300u);
  Sleep(0x100);
  EXPECT_EQ(GetTickCount(), 300u);  // wrapped
}

TEST_F(WinsimCoreTest, ArmedFaultsFailTheNamedCallTheGivenNumberOfTimes) {
  machine().FailNext("GetDefaultPrinterW", RPC_S_SERVER_UNAVAILABLE, 2);
  WCHAR name[64];
  DWORD size = 64;
  EXPECT_FALSE(GetDefaultPrinterW(name, &size));
  EXPECT_FALSE(GetDefaultPrinterW(name, &size));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
  EXPECT_TRUE(GetDefaultPrinterW(name, &size));
}

// A fault picks the k-th call of its function, or the n-th call of the run
// whatever its function. Counted are the calls the program makes that can
// fail: not the block FormatMessageW takes inside, not OpenMutexA's own
// work, not GetLastError or GlobalFree.
TEST_F(WinsimCoreTest, FaultsPickTheirCallByFunctionOrAcrossTheRun) {
  constexpr DWORD kArmed = 1234;
  // Each call of the program, run with the last error poisoned: true when
  // it failed with the armed error.
  const auto allocate = [] {
    void* block = GlobalAlloc(GPTR, 4);
    GlobalFree(block);
    return block == nullptr && GetLastError() == kArmed;
  };
  const std::function<bool()> program[] = {
      allocate,
      [] {
        LPWSTR text = nullptr;
        const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, 5, 0,
                                            reinterpret_cast<LPWSTR>(&text), 0, nullptr);
        LocalFree(text);
        return length == 0 && GetLastError() == kArmed;
      },
      [] { return OpenMutexA(SYNCHRONIZE, FALSE, "none") == nullptr && GetLastError() == kArmed; },
      allocate,
      [] {
        HKEY key = nullptr;
        const LONG result = RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE", 0, KEY_READ, &key);
        if (result == ERROR_SUCCESS) RegCloseKey(key);
        return result == static_cast<LONG>(kArmed) && GetLastError() == kPoisonError;  // returned, not set
      },
  };
  const struct {
    const char* what;
    std::function<void(winsim::Machine&)> arm;
    std::vector<bool> fails;
  } cases[] = {
      {"the next call", [](auto& m) { m.FailNext("GlobalAlloc", kArmed); }, {true, false, false, false, false}},
      {"the second call", [](auto& m) { m.FailCallOf("GlobalAlloc", 2, kArmed); }, {false, false, false, true, false}},
      {"no inner block", [](auto& m) { m.FailCallOf("LocalAlloc", 1, kArmed); }, {false, false, false, false, false}},
      {"no inner call", [](auto& m) { m.FailCallOf("OpenMutexW", 1, kArmed); }, {false, false, false, false, false}},
      {"the run's second", [](auto& m) { m.FailCall(2, kArmed); }, {false, true, false, false, false}},
      {"the run's third and fourth", [](auto& m) { m.FailCall(3, kArmed, 2); }, {false, false, true, true, false}},
      {"the run's fifth", [](auto& m) { m.FailCall(5, kArmed); }, {false, false, false, false, true}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    NextMachine();
    c.arm(machine());
    std::vector<bool> failed;
    for (const auto& call : program) {
      SetLastError(kPoisonError);
      GetTickCount();
      failed.push_back(call());
    }
    EXPECT_EQ(failed, c.fails);
    EXPECT_EQ(machine().calls, std::size(program) + (c.fails.back() ? 0 : 1)) << "RegCloseKey counts when opened";
  }
  // A wait told to fail returns the result given for it, not WAIT_FAILED.
  NextMachine();
  const HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
  machine().faults["WaitForSingleObject"] = winsim::Fault{ERROR_INVALID_HANDLE, 1, 0, WAIT_TIMEOUT};
  EXPECT_EQ(WaitForSingleObject(mutex, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(WaitForSingleObject(mutex, 0), static_cast<DWORD>(WAIT_OBJECT_0));
  ReleaseMutex(mutex);
  CloseHandle(mutex);
}

TEST_F(WinsimCoreTest, ACopyIsTheSameMachineWithoutTheProgramsHeapBlocks) {
  void* block = GlobalAlloc(GPTR, 16);
  const auto copy = machine().Copy();
  EXPECT_TRUE(copy->memory.globalBlocks.empty());
  EXPECT_EQ(winsim::SaveMachine(*copy), winsim::SaveMachine(machine()));
  GlobalFree(block);
}

// ---- the registry ----

const char16_t kSessionManager[] = u"SYSTEM\\CurrentControlSet\\Control\\Session Manager";

using WinsimRegistryTest = MachineTest;

TEST_F(WinsimRegistryTest, KeysDenyingRightsRefuseThemWhenOpenedAndWhenCreatingBelow) {
  machine().registry.FindKey(winsim::kSessionManagerKey)->denied = KEY_SET_VALUE | KEY_CREATE_SUB_KEY;
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_WRITE, &key), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_READ, &key), ERROR_SUCCESS);
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
