// Every command ends within a known time, however long what it waits for
// stalls: its worst case on the virtual clock, with everything that can keep
// it waiting doing so.
#include <cstdint>
#include <string>

#include <winsim_presets/driver.h>
#include <winsim_presets/monitor.h>
#include <winsim_presets/queues.h>

#include "test_support.h"
#include "worst_case_bounds.h"

namespace {

using winsim::presets::SystemPath;

// The share of its bound a command must take with a slow spooler, so a wait
// that vanished shows. No one machine makes every wait run its full course:
// the driver's first two files would have to give way just before their
// copies give up, and a spooler that stops too slowly for one restart has
// stopped by the end of the work done in another.
constexpr std::uint64_t kReachedPercent = 95;

// How the spooler stalls. A slow one takes longer to stop than the installer
// waits and nearly as long to start: each restart takes both waits in full,
// and the spooler works again after it, so the retries that follow all run.
// One that never stops or never starts takes the same waits, then refuses
// every call, so fewer retries come.
enum class Spooler { Slow, FoundStoppedSlow, NeverStops, NeverStarts };

struct Case {
  const char16_t* command;
  Spooler spooler;
  int exitCode;
};
const Case kCases[] = {
    {u"install", Spooler::FoundStoppedSlow, 100},
    {u"install", Spooler::NeverStops, 100},
    {u"install", Spooler::NeverStarts, 100},
    {u"in_notray", Spooler::FoundStoppedSlow, 100},
    {u"uninstall", Spooler::FoundStoppedSlow, 100},
    {u"onInit", Spooler::Slow, 200},
    {u"onInit", Spooler::NeverStarts, 200},
    {u"removetray", Spooler::Slow, 6},
    {u"onChkDrv", Spooler::Slow, 3},
    {u"def.set", Spooler::Slow, 4},
    {u"", Spooler::Slow, 6},
    {u"reinstall", Spooler::Slow, 6},
};

class WorstCaseTimeTest : public MachineTest {
 protected:
  // The product installed, and everything that can keep a run waiting doing
  // so: a help window that never closes, a tray program that never quits
  // and has no Run value, a spooler that stalls as `how` says, refuses the
  // driver's and the monitor's removal until restarted and the monitor's
  // registration, and keeps the staged driver files; the monitor module
  // (also pending deletion) and an old help file locked for ever.
  void Stall(Spooler how) {
    winsim::Machine& m = machine();
    winsim::presets::AddProductMonitor(m, 2415);
    winsim::presets::AddProductDriver(m);
    winsim::presets::AddPrinter(m, u"Ravelquill", u"Ravelquill:", winsim::presets::kProductDriverName, true);
    Profile(u"hh.exe").neverCloses = true;
    winsim::StartProcess(m, winsim::ProgramKind::Program, u"C:\\Windows\\hh.exe");
    Profile(u"ravtray.exe").deaf = true;
    winsim::StartProcess(m, winsim::ProgramKind::Program, winsim::presets::kTrayPath);

    winsim::Service& spooler = m.services.spooler;
    spooler.stopMs = how == Spooler::NeverStops ? 0xFFFFFFFF : 10100;
    spooler.startMs = 9800;
    spooler.startNeverCompletes = how == Spooler::NeverStarts;
    if (how == Spooler::FoundStoppedSlow) winsim::EnterServiceState(m, SERVICE_STOPPED);
    m.spooler.stagedHoldMs = 0xFFFFFFFF;
    m.FailNext("DeletePrinterDriverExW", ERROR_PRINTER_DRIVER_IN_USE);
    m.FailNext("DeleteMonitorW", ERROR_PRINT_MONITOR_IN_USE, 2);
    m.FailNext("AddMonitorW", ERROR_ACCESS_DENIED, 5);

    const std::u16string oldHelp = m.spooler.FindEnvironment(u"Windows x64")->driverDirectory + u"\\vexhelp.chm";
    m.files.Put(oldHelp, {1});
    for (const std::u16string& path : {SystemPath(m), oldHelp}) winsim::LockFile(m, path, ERROR_ACCESS_DENIED);
    m.registry.SetMultiString(winsim::kSessionManagerKey, winsim::kPendingRenamesValue,
                              {u"\\??\\" + SystemPath(m), u""});
  }
};

TEST_F(WorstCaseTimeTest, EveryCommandEndsWithinItsBoundWhenEverythingStalls) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(Utf8(c.command) + " " + std::to_string(static_cast<int>(c.spooler)));
    NextMachine();
    const std::uint64_t bound = WorstCaseMs(c.command);
    Stall(c.spooler);
    const std::uint64_t start = machine().clock.now;
    EXPECT_EQ(Run(c.command), c.exitCode);
    const std::uint64_t took = machine().clock.now - start;
    EXPECT_LE(took, bound);
    if (c.spooler == Spooler::Slow || c.spooler == Spooler::FoundStoppedSlow) {
      EXPECT_GE(took * 100, bound * kReachedPercent);
    }
  }
}

}  // namespace
