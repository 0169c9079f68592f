// Port monitors: enumeration, the refusals of AddMonitorW and DeleteMonitorW,
// and a monitor in use by a printer.
#include "spooler_fixture.h"

using namespace conformance;

namespace {

const WCHAR kMonitor[] = TEXT("Conformance Monitor");

bool MonitorListed(const WCHAR* name) {
  DWORD count = 0;
  std::vector<BYTE> block = Fetch(
      [](LPBYTE b, DWORD size, LPDWORD needed, LPDWORD n) { return EnumMonitorsW(nullptr, 1, b, size, needed, n); },
      &count);
  for (DWORD i = 0; i < count; ++i) {
    if (SameName(reinterpret_cast<const MONITOR_INFO_1W*>(block.data())[i].pName, name)) return true;
  }
  return false;
}

}  // namespace

// Level 2 refuses a block one byte short without writing into it, and lays
// its records out first with their strings after them, inside the block.
CONFORMANCE_CASE(enum_monitors_lays_out_records_then_strings) {
  DWORD needed = kPoison, count = kPoison;
  expect(EnumMonitorsW(nullptr, 2, nullptr, 0, &needed, &count), ERROR_INSUFFICIENT_BUFFER);
  if (needed == kPoison) return;
  std::vector<BYTE> block(needed, 0xCC);
  expect(EnumMonitorsW(nullptr, 2, block.data(), needed - 1, &needed, &count), ERROR_INSUFFICIENT_BUFFER);
  ok(block[0] == 0xCC, "a short block was written");
  count = kPoison;
  expect(EnumMonitorsW(nullptr, 2, block.data(), needed, &needed, &count), 0);
  const auto* monitors = reinterpret_cast<const MONITOR_INFO_2W*>(block.data());
  bool inside = count != kPoison, local = false;
  for (DWORD i = 0; inside && i < count; ++i) {
    for (const WCHAR* s : {monitors[i].pName, monitors[i].pEnvironment, monitors[i].pDLLName}) {
      const BYTE* at = reinterpret_cast<const BYTE*>(s);
      inside = inside && at >= block.data() + count * sizeof(MONITOR_INFO_2W) && at < block.data() + needed;
    }
    if (!SameName(monitors[i].pName, TEXT("Local Port"))) continue;
    local = true;
    if (!SameName(monitors[i].pEnvironment, kX64)) {
      ok(WineDiffers("EnumMonitorsW reports every monitor's environment as \"Windows NT x86\"") &&
             SameName(monitors[i].pEnvironment, TEXT("Windows NT x86")),
         "environment of the local port monitor");
    }
  }
  ok(inside && local, "a string lies outside the strings area, or no local port monitor");
}

// AddMonitorW takes level 2 only, needs the module in the system directory
// and refuses a name already registered; DeleteMonitorW refuses a name that
// is not. A monitor's module stays loaded, and the monitor stays while a
// printer uses its port; then both can be deleted.
CONFORMANCE_CASE(monitor_refusals_and_a_monitor_in_use) {
  expect(RegisterMonitor(kMonitor, TEXT("confmon.dll"), 1), ERROR_INVALID_LEVEL);
  expect(RegisterMonitor(kMonitor, TEXT("confmon-missing.dll")), ERROR_MOD_NOT_FOUND);
  expect(RegisterMonitor(TEXT("Local Port"), TEXT("localspl.dll")), ERROR_PRINT_MONITOR_ALREADY_INSTALLED);
  expect(DeleteMonitorW(nullptr, nullptr, W(kMonitor)), ERROR_UNKNOWN_PRINT_MONITOR);
  if (!InstallMonitorModule(TEXT("confmon.dll"))) return (void)std::printf("no monitor module built; skipped\n");
  WCHAR system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  const Text module = Text(system) + TEXT("\\confmon.dll");
  expect(RegisterMonitor(kMonitor, TEXT("confmon.dll")), 0);
  ok(MonitorListed(kMonitor), "the new monitor is not listed");
  expect(DeleteFileW(module.c_str()), ERROR_ACCESS_DENIED);
  bool deleted;
  {
    Driver driver(TEXT("Conformance Monitor Driver"), TEXT("cmdrv"));
    expect(driver.Add(), 0);
    Printer printer(TEXT("Conformance Monitor Printer"), TEXT("Ravelquill:"), driver.info.pName);
    expect(printer.Add(), 0);
    deleted = expect(DeleteMonitorW(nullptr, nullptr, W(kMonitor)),
                     WineDiffers("DeleteMonitorW succeeds while a printer uses the monitor's port")
                         ? 0
                         : ERROR_PRINT_MONITOR_IN_USE);
  }
  if (!deleted) expect(DeleteMonitorW(nullptr, nullptr, W(kMonitor)), 0);
  ok(!MonitorListed(kMonitor), "the deleted monitor is listed");
  expect(DeleteFileW(module.c_str()), 0);
}

// The spooler keeps a registered monitor's module loaded after the program
// that registered it has ended, so no program can delete the module until
// the monitor is deleted.
CONFORMANCE_CASE(a_monitor_registered_by_a_program_that_ended_keeps_its_module_loaded) {
  if (!InstallMonitorModule(TEXT("confmon.dll"))) return (void)std::printf("no monitor module built; skipped\n");
  WCHAR system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  const Text module = Text(system) + TEXT("\\confmon.dll");
  ok(RegisterMonitorFromAnotherProgram(kMonitor, TEXT("confmon.dll")) == 0, "the other program's AddMonitorW failed");
  // Before any spooler call of this program: under Wine the module is then
  // loaded nowhere.
  const bool deleted = expect(
      DeleteFileW(module.c_str()),
      WineDiffers("A registered monitor's module is held only by a program that loaded it") ? 0 : ERROR_ACCESS_DENIED);
  expect(DeleteMonitorW(nullptr, nullptr, W(kMonitor)), 0);
  ok(!MonitorListed(kMonitor), "the deleted monitor is listed");
  if (!deleted) expect(DeleteFileW(module.c_str()), 0);
}
