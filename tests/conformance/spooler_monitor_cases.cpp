// Port monitors: enumeration at both levels, the refusals of AddMonitorW
// and DeleteMonitorW, and a monitor in use by a printer.
#include "spooler_fixture.h"

using namespace conformance;

namespace {

auto EnumMonitorsAt(DWORD level) {
  return [level](LPBYTE block, DWORD size, LPDWORD needed, LPDWORD count) {
    return EnumMonitorsW(nullptr, level, block, size, needed, count);
  };
}

bool MonitorListed(const WCHAR* name) {
  DWORD count = 0;
  std::vector<BYTE> block = Fetch(EnumMonitorsAt(1), &count);
  const auto* monitors = reinterpret_cast<const MONITOR_INFO_1W*>(block.data());
  for (DWORD i = 0; i < count; ++i) {
    if (SameText(monitors[i].pName, name)) return true;
  }
  return false;
}

BOOL RegisterMonitor(const WCHAR* name, const WCHAR* dll, DWORD level = 2) {
  MONITOR_INFO_2W info = {const_cast<LPWSTR>(name), const_cast<LPWSTR>(TEXT("Windows x64")), const_cast<LPWSTR>(dll)};
  PoisonError();
  return AddMonitorW(nullptr, level, reinterpret_cast<LPBYTE>(&info));
}

}  // namespace

// Each level sizes itself, refuses a block one byte short without writing
// into it, and lays its records out first with their strings after them,
// inside the block.
CONFORMANCE_CASE(enum_monitors_lays_out_both_levels_inside_the_block) {
  const struct {
    DWORD level;
    std::size_t record;
    int strings;
  } levels[] = {{1, sizeof(MONITOR_INFO_1W), 1}, {2, sizeof(MONITOR_INFO_2W), 3}};
  for (const auto& l : levels) {
    DWORD needed = kPoison, count = kPoison;
    PoisonError();
    ok(!EnumMonitorsW(nullptr, l.level, nullptr, 0, &needed, &count), "level %lu: sizing call succeeded", l.level);
    ok_error(ERROR_INSUFFICIENT_BUFFER);
    ok(needed != kPoison && needed > l.record, "level %lu: needed %lu", l.level, needed);
    if (needed == kPoison || needed < l.record) continue;
    std::vector<BYTE> block(needed, 0xCC);
    PoisonError();
    ok(!EnumMonitorsW(nullptr, l.level, block.data(), needed - 1, &needed, &count), "level %lu: short block taken",
       l.level);
    ok_error(ERROR_INSUFFICIENT_BUFFER);
    ok(block[0] == 0xCC && block[needed - 1] == 0xCC, "level %lu: a short block was written", l.level);
    Poison(count);
    ok(EnumMonitorsW(nullptr, l.level, block.data(), needed, &needed, &count), "level %lu: failed with %lu", l.level,
       GetLastError());
    ok(count >= 1 && count != kPoison, "level %lu: %lu monitors", l.level, count);
    if (count == kPoison) continue;
    const BYTE* stringsFrom = block.data() + count * l.record;
    bool inside = true, local = false;
    for (DWORD i = 0; i < count; ++i) {
      const auto* fields = reinterpret_cast<WCHAR* const*>(block.data() + i * l.record);
      for (int f = 0; f < l.strings; ++f) {
        const BYTE* at = reinterpret_cast<const BYTE*>(fields[f]);
        inside = inside && at >= stringsFrom && at < block.data() + needed;
      }
      if (!SameText(fields[0], TEXT("Local Port"))) continue;
      local = true;
      if (l.level == 2 && !SameText(fields[1], TEXT("Windows x64"))) {
        ok(WineDiffers("EnumMonitorsW reports every monitor's environment as \"Windows NT x86\"") &&
               SameText(fields[1], TEXT("Windows NT x86")),
           "environment of the local port monitor");
      }
    }
    ok(inside, "level %lu: a string lies outside the strings area", l.level);
    ok(local, "level %lu: the local port monitor is not listed", l.level);
  }
  DWORD needed = kPoison, count = kPoison;
  PoisonError();
  ok(!EnumMonitorsW(nullptr, 3, nullptr, 0, &needed, &count), "level 3 succeeded");
  ok_error(ERROR_INVALID_LEVEL);
}

// AddMonitorW takes level 2 only, needs the module in the system directory,
// and refuses a name already registered; DeleteMonitorW refuses a name that
// is not.
CONFORMANCE_CASE(add_and_delete_monitor_refusals) {
  const struct {
    const WCHAR* name;
    const WCHAR* dll;
    DWORD level;
    DWORD error;
  } refusals[] = {
      {TEXT("Conformance Monitor"), TEXT("confmon.dll"), 1, ERROR_INVALID_LEVEL},
      {TEXT("Conformance Monitor"), TEXT("confmon-missing.dll"), 2, ERROR_MOD_NOT_FOUND},
      {TEXT("Local Port"), TEXT("localspl.dll"), 2, ERROR_PRINT_MONITOR_ALREADY_INSTALLED},
  };
  for (const auto& r : refusals) {
    ok(!RegisterMonitor(r.name, r.dll, r.level), "monitor with %lu added", r.error);
    ok_error(r.error);
  }
  ok(!MonitorListed(TEXT("Conformance Monitor")), "a refused monitor is listed");
  PoisonError();
  ok(!DeleteMonitorW(nullptr, nullptr, const_cast<LPWSTR>(TEXT("Conformance Monitor"))), "unknown monitor deleted");
  ok_error(ERROR_UNKNOWN_PRINT_MONITOR);
}

// A registered monitor's module stays loaded (it cannot be deleted) and the
// monitor stays while a printer uses its port; once the printer is gone it
// can be deleted, and its module with it.
CONFORMANCE_CASE(monitor_stays_while_a_printer_uses_its_port) {
  const Text module = SystemFile(TEXT("confmon.dll"));
  if (!InstallMonitorModule(TEXT("confmon.dll"))) {
    std::printf("monitor_stays_while_a_printer_uses_its_port: no monitor module built; skipped\n");
    return;
  }
  ok(RegisterMonitor(TEXT("Conformance Monitor"), TEXT("confmon.dll")), "AddMonitorW failed with %lu", GetLastError());
  ok(MonitorListed(TEXT("Conformance Monitor")), "the new monitor is not listed");
  PoisonError();
  ok(!DeleteFileW(module.c_str()), "the loaded module was deleted");
  ok_error(ERROR_ACCESS_DENIED);

  ok(AddDummyDriver(TEXT("Conformance Monitor Driver"), TEXT("cmdrv")), "driver not added: %lu", GetLastError());
  PrinterSpec spec(TEXT("Conformance Monitor Printer"), TEXT("Ravelquill:"), TEXT("Conformance Monitor Driver"));
  HANDLE printer = AddPrinterW(nullptr, 2, spec.Bytes());
  ok(printer != nullptr, "AddPrinterW failed with %lu", GetLastError());
  if (printer != nullptr) ClosePrinter(printer);

  PoisonError();
  const BOOL deleted = DeleteMonitorW(nullptr, nullptr, const_cast<LPWSTR>(TEXT("Conformance Monitor")));
  if (WineDiffers("DeleteMonitorW succeeds while a printer uses the monitor's port")) {
    ok(deleted, "DeleteMonitorW failed with %lu", GetLastError());
  } else {
    ok(!deleted, "a monitor in use was deleted");
    ok_error(ERROR_PRINT_MONITOR_IN_USE);
  }
  ok(RemovePrinter(TEXT("Conformance Monitor Printer")), "the printer was not deleted");
  RemoveDriver(TEXT("Conformance Monitor Driver"));
  if (!deleted) {
    ok(DeleteMonitorW(nullptr, nullptr, const_cast<LPWSTR>(TEXT("Conformance Monitor"))),
       "DeleteMonitorW failed with %lu", GetLastError());
  }
  ok(!MonitorListed(TEXT("Conformance Monitor")), "the deleted monitor is listed");
  ok(DeleteFileW(module.c_str()), "the unloaded module was not deleted: %lu", GetLastError());
}
