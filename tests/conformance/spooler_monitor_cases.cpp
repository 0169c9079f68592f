// Port monitors: enumeration at both levels, the refusals of AddMonitorW
// and DeleteMonitorW, and a monitor in use by a printer.
#include "spooler_fixture.h"

using namespace conformance;

namespace {

bool MonitorListed(const WCHAR* name) {
  DWORD count = 0;
  std::vector<BYTE> block = Fetch([](LPBYTE b, DWORD size, LPDWORD needed,
                                     LPDWORD returned) { return EnumMonitorsW(nullptr, 1, b, size, needed, returned); },
                                  &count);
  for (DWORD i = 0; i < count; ++i) {
    if (SameName(reinterpret_cast<const MONITOR_INFO_1W*>(block.data())[i].pName, name)) return true;
  }
  return false;
}

BOOL RegisterMonitor(const WCHAR* name, const WCHAR* dll, DWORD level = 2) {
  MONITOR_INFO_2W info = {const_cast<LPWSTR>(name), kX64, const_cast<LPWSTR>(dll)};
  return AddMonitorW(nullptr, level, reinterpret_cast<LPBYTE>(&info));
}

BOOL UnregisterMonitor(const WCHAR* name) { return DeleteMonitorW(nullptr, nullptr, const_cast<LPWSTR>(name)); }

}  // namespace

// Each level sizes itself, refuses a block one byte short without writing
// into it, and lays its records out first with their strings after them,
// inside the block. There is no level 3.
CONFORMANCE_CASE(enum_monitors_lays_out_both_levels_inside_the_block) {
  const struct {
    DWORD level;
    std::size_t record;
    int strings;
  } levels[] = {{1, sizeof(MONITOR_INFO_1W), 1}, {2, sizeof(MONITOR_INFO_2W), 3}};
  for (const auto& l : levels) {
    const Row row("level %lu", l.level);
    DWORD needed = kPoison, count = kPoison;
    expect(EnumMonitorsW(nullptr, l.level, nullptr, 0, &needed, &count), ERROR_INSUFFICIENT_BUFFER);
    ok(needed != kPoison && needed > l.record, "needed %lu", needed);
    if (needed == kPoison || needed < l.record) continue;
    std::vector<BYTE> block(needed, 0xCC);
    expect(EnumMonitorsW(nullptr, l.level, block.data(), needed - 1, &needed, &count), ERROR_INSUFFICIENT_BUFFER);
    ok(block[0] == 0xCC && block[needed - 1] == 0xCC, "a short block was written");
    count = kPoison;
    expect(EnumMonitorsW(nullptr, l.level, block.data(), needed, &needed, &count), 0);
    ok(count >= 1 && count != kPoison, "%lu monitors", count);
    if (count == kPoison) continue;
    const BYTE* stringsFrom = block.data() + count * l.record;
    bool inside = true, local = false;
    for (DWORD i = 0; i < count; ++i) {
      const auto* fields = reinterpret_cast<WCHAR* const*>(block.data() + i * l.record);
      for (int f = 0; f < l.strings; ++f) {
        const BYTE* at = reinterpret_cast<const BYTE*>(fields[f]);
        inside = inside && at >= stringsFrom && at < block.data() + needed;
      }
      if (!SameName(fields[0], TEXT("Local Port"))) continue;
      local = true;
      if (l.level == 2 && !SameName(fields[1], kX64)) {
        ok(WineDiffers("EnumMonitorsW reports every monitor's environment as \"Windows NT x86\"") &&
               SameName(fields[1], TEXT("Windows NT x86")),
           "environment of the local port monitor");
      }
    }
    ok(inside, "a string lies outside the strings area");
    ok(local, "the local port monitor is not listed");
  }
  DWORD needed = kPoison, count = kPoison;
  expect(EnumMonitorsW(nullptr, 3, nullptr, 0, &needed, &count), ERROR_INVALID_LEVEL);
}

// AddMonitorW takes level 2 only, needs the module in the system directory,
// and refuses a name already registered; DeleteMonitorW refuses a name that
// is not.
CONFORMANCE_CASE(add_and_delete_monitor_refusals) {
  expect(RegisterMonitor(TEXT("Conformance Monitor"), TEXT("confmon.dll"), 1), ERROR_INVALID_LEVEL);
  expect(RegisterMonitor(TEXT("Conformance Monitor"), TEXT("confmon-missing.dll")), ERROR_MOD_NOT_FOUND);
  expect(RegisterMonitor(TEXT("Local Port"), TEXT("localspl.dll")), ERROR_PRINT_MONITOR_ALREADY_INSTALLED);
  ok(!MonitorListed(TEXT("Conformance Monitor")), "a refused monitor is listed");
  expect(UnregisterMonitor(TEXT("Conformance Monitor")), ERROR_UNKNOWN_PRINT_MONITOR);
}

// A registered monitor's module stays loaded (it cannot be deleted) and the
// monitor stays while a printer uses its port; once the printer is gone it
// can be deleted, and its module with it.
CONFORMANCE_CASE(monitor_stays_while_a_printer_uses_its_port) {
  WCHAR system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  const Text module = Text(system) + TEXT("\\confmon.dll");
  if (!InstallMonitorModule(TEXT("confmon.dll"))) {
    std::printf("monitor_stays_while_a_printer_uses_its_port: no monitor module built; skipped\n");
    return;
  }
  expect(RegisterMonitor(TEXT("Conformance Monitor"), TEXT("confmon.dll")), 0);
  ok(MonitorListed(TEXT("Conformance Monitor")), "the new monitor is not listed");
  expect(DeleteFileW(module.c_str()), ERROR_ACCESS_DENIED);
  bool deleted;
  {
    ScratchDriver driver(TEXT("Conformance Monitor Driver"), TEXT("cmdrv"));
    ScratchPrinter printer(TEXT("Conformance Monitor Printer"), TEXT("Ravelquill:"), driver.name);
    deleted = expect(UnregisterMonitor(TEXT("Conformance Monitor")),
                     WineDiffers("DeleteMonitorW succeeds while a printer uses the monitor's port")
                         ? 0
                         : ERROR_PRINT_MONITOR_IN_USE);
  }
  if (!deleted) expect(UnregisterMonitor(TEXT("Conformance Monitor")), 0);
  ok(!MonitorListed(TEXT("Conformance Monitor")), "the deleted monitor is listed");
  expect(DeleteFileW(module.c_str()), 0);
}
