#include "spooler/port_monitor.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <winsim_presets/monitor.h>

#include "spooler/parked_printers.h"
#include "test_support.h"

namespace {

using Lines = std::vector<std::string>;
using Build = std::function<void(winsim::Machine&)>;
using winsim::presets::AddPrinter;
using winsim::presets::AddProductMonitor;
using winsim::presets::PutMonitorModule;

const std::u16string kModule = u"C:\\Windows\\system32\\vexmon64.dll", kDriver = u"Ravelquill printer";
const std::string kAuto = "  Auto calculated monitor file name: C:\\Windows\\system32\\",
                  kRemoved = "  Monitor was removed :)", kFirstTry = "  Can't delete monitor from the first try",
                  kNotFoundOk = "  Can't delete monitor and monitor was not found. So everything should be ok";

class PortMonitorTest : public ContextTest {
 protected:
  // A new machine, and a context set up on it as a run sets it up.
  void NewRun(const Build& build) {
    FreshRun();
    build(machine());
    InitContext(context, InitFlagX64);
    start_ = LogLines(context).size();
    SetLastError(kPoisonError);
  }
  // The last `count` lines written since NewRun (all of them for 0).
  Lines Logged(std::size_t count = 0) {
    const Lines all = LogLines(context);
    return Lines(count ? all.end() - static_cast<std::ptrdiff_t>(count) : all.begin() + start_, all.end());
  }
  void Remove() {
    MonitorEnumeration monitors;
    EnumMonitorsAll(context, monitors);
    RemovePortMonitor(context, monitors);
    EXPECT_EQ(context.LogDepth, 0);
  }
  bool Registered() { return machine().spooler.FindMonitor(u"Ravelquill:", u"Windows x64") != nullptr; }
  const winsim::File* Module() { return machine().files.Find(kModule); }
  std::string Port(const std::u16string& name) { return winsim::Narrow(machine().spooler.FindPrinter(name)->port); }
  // Every string of the snapshot but one.
  Lines StringsBut(LPCWSTR except) {
    Lines texts;
    for (const PRINTER_INFO_2W* r = context.Printers.Buffer.Get();
         r != context.Printers.Buffer.Get() + context.Printers.Count; ++r)
      for (LPCWSTR s : {r->pServerName, r->pPrinterName, r->pShareName, r->pPortName, r->pDriverName, r->pComment,
                        r->pLocation, r->pSepFile, r->pPrintProcessor, r->pDatatype, r->pParameters})
        if (s != except) texts.push_back(Utf8(s));
    return texts;
  }

 private:
  std::size_t start_ = 0;
};

// Tails of the removal's log; the last monitor of the exact name gives the module.
TEST_F(PortMonitorTest, RemovalFindsTheMonitorByItsExactName) {
  const std::string found = "  Trying to get monitor filename from MONITOR_INFO_2";
  const struct {
    Build build;
    const char* pending;  // the module left to delete later
    Lines lines;
  } cases[] = {
      // Not the product's by its name; the spooler, which ignores case, deletes it all the same.
      {[](winsim::Machine& m) { AddProductMonitor(m).name = u"ravelquill:"; },
       nullptr,
       {"  No Ravelquill port monitor was found.", "  Computing monitor filename", kAuto + "vexmon64.dll", kRemoved}},
      // The first of the name gives the module, here one that is missing.
      {[](winsim::Machine& m) {
         m.spooler.monitors.push_back({u"Ravelquill:", u"Windows NT x86", u"vexmon32.dll"});
         AddProductMonitor(m);
       },
       "C:\\Windows\\system32\\vexmon32.dll",
       {"  Port monitor is found. Index=2", found, kAuto + "vexmon32.dll", kRemoved}},
      {[](winsim::Machine& m) { m.spooler.monitors.clear(); },
       nullptr,
       {"  BTW, there is no port monitors on this system.", kNotFoundOk}},
      // The path is the system directory itself: never deleted.
      {[](winsim::Machine& m) { AddProductMonitor(m, 2446, u""); },
       nullptr,
       {kAuto, "  There is no check for monitor version", "  No monitor file name: the module is not deleted",
        kRemoved}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lines[0]);
    NewRun(c.build);
    Remove();
    Lines logged = Logged();
    logged.erase(
        std::remove_if(logged.begin(), logged.end(),
                       [&](const std::string& l) { return std::count(c.lines.begin(), c.lines.end(), l) == 0; }),
        logged.end());
    EXPECT_EQ(logged, c.lines);
    EXPECT_FALSE(Registered());
    EXPECT_EQ(context.PendingDeletes ? Utf8(context.PendingDeletes->Text) : "", c.pending ? c.pending : "");
  }
}

// Builds 2416 to 2446 are kept; a registered monitor is then only copied
// anew, a module alone only registered.
TEST_F(PortMonitorTest, VersionGateKeepsBuilds2416To2446) {
  const std::string keep = " is compatible, proceed without uninstall",
                    drop = " is not supported, proceed with reinstall";
  const struct {
    std::optional<WORD> build;  // none: no version resource
    bool registered;
    Lines lines;
    int installPlus2Copy;
  } cases[] = {
      {2415, true, {"  Version (2415)" + drop, kRemoved}, 3},
      {2416, false, {"  Version (2416)" + keep, "  InstallMonitor == 1, CopyMonitor == 0"}, 1},
      {2446, true, {"  Version (2446)" + keep, "  InstallMonitor == 0, CopyMonitor == 1"}, 2},
      {2447, false, {"  Version (2447)" + drop, kNotFoundOk}, 3},
      {std::nullopt, true, {"  Version is unknown, proceed with reinstall", kRemoved}, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lines[0]);
    NewRun([&](winsim::Machine& m) {
      c.registered ? (void)AddProductMonitor(m, c.build) : (void)PutMonitorModule(m, c.build);
    });
    context.CheckMonitorVersion = 1;
    Remove();
    EXPECT_EQ(Logged(2), c.lines);
    EXPECT_EQ(Registered(), c.installPlus2Copy == 2);
    EXPECT_EQ(Module() != nullptr, c.installPlus2Copy < 3 || !c.registered);
    EXPECT_EQ(context.InstallMonitor + 2 * context.CopyMonitor, c.installPlus2Copy);
  }
}

// A monitor in use: its printers are parked on "file:" (one deleted earlier
// in the run too), the monitor goes, its loaded module waits for a restart,
// and the install returns the printers and the default.
TEST_F(PortMonitorTest, RemovalParksThePrintersThatInstallReturns) {
  NewRun([](winsim::Machine& m) {
    AddProductMonitor(m);
    AddPrinter(m, u"Ravelquill", u"Ravelquill:", kDriver, true);
    AddPrinter(m, u"Ledger", u"LPT1:,Ravelquill:", u"Other driver");
    AddPrinter(m, u"Gone", u"Ravelquill:", kDriver);
    winsim::LockFile(m, kModule, ERROR_ACCESS_DENIED);
  });
  machine().spooler.printers.pop_back();
  Remove();
  const Lines moved = {"  SetPrinter(Ravelquill) - ok", "  SetPrinter(Ledger) - ok", "  Can't open printer Gone"};
  EXPECT_EQ(Logged(5), (Lines{kFirstTry, moved[0], moved[1], moved[2], kRemoved}));
  EXPECT_EQ(Port(u"Ravelquill") + " " + Port(u"Ledger"), "file: LPT1:,file:");
  EXPECT_EQ(Utf8(context.PendingDeletes->Text), winsim::Narrow(kModule));
  EXPECT_EQ(machine().services.spooler.stopsAccepted, 0);

  context.CopyMonitor = 0;
  InstallPortMonitor(context);
  EXPECT_EQ(Logged(6),
            (Lines{">AddMonitor", "  Skip copy monitor file", "  AddMonitor - OK :)", moved[0], moved[1], moved[2]}));
  EXPECT_EQ(Port(u"Ravelquill") + " " + Port(u"Ledger"), "Ravelquill: LPT1:,Ravelquill:");
  EXPECT_EQ(machine().spooler.defaultPrinter, u"Ravelquill");
}

// Only the first "Ravelquill:" of a port list is parked: still in use.
TEST_F(PortMonitorTest, RemovalRestartsTheSpoolerOnceBeforeItsLastAttempt) {
  for (const bool twice : {false, true}) {
    NewRun([&](winsim::Machine& m) {
      AddProductMonitor(m);
      if (twice) AddPrinter(m, u"Twin", u"Ravelquill:,Ravelquill:", kDriver);
    });
    if (!twice) machine().FailNext("DeleteMonitorW", ERROR_PRINT_MONITOR_IN_USE, 2);
    Remove();
    EXPECT_EQ(Logged(1)[0], twice ? "  Error(12): Can`t remove the port monitor 'Ravelquill:' - (The specified print "
                                    "monitor is currently in use.)"
                                  : kRemoved);
    EXPECT_EQ(Logged(2)[0], "  >Restart Spooler");
    EXPECT_EQ(machine().services.spooler.stopsAccepted, 1) << twice;
    EXPECT_EQ(Module() != nullptr, twice);
  }
}

// Parking shortens the port text in place and returning lengthens it into
// the room parking left; no other string of the snapshot changes.
TEST_F(PortMonitorTest, PortTextsAreRewrittenInsideTheirOwnStorage) {
  const struct {
    const char16_t* port;
    std::string parked, returned;
  } cases[] = {
      {u"Ravelquill:,LPT1:", "file:,LPT1:", "Ravelquill:,LPT1:"},
      {u"file:,Ravelquill:", "file:,file:", "Ravelquill:,file:"},  // the first "file:" returns
      {u"file:", "file:", "file:"},                                // listed by hand: no room to return
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(winsim::Narrow(c.port));
    NewRun([&](winsim::Machine& m) {
      AddProductMonitor(m);
      AddPrinter(m, u"Before", u"COM2:", u"Other driver");
      AddPrinter(m, u"Subject", c.port, kDriver);
      AddPrinter(m, u"After", u"LPT2:", u"Other driver");
    });
    PRINTER_INFO_2W& subject = context.Printers.Buffer[2];
    const Lines others = StringsBut(subject.pPortName);
    ParkProductPrinters(context);
    if (context.ParkedPrinters[0] == nullptr) context.ParkedPrinters[0] = &subject;
    EXPECT_EQ(Utf8(subject.pPortName) + " " + Port(u"Subject"), c.parked + " " + c.parked);
    ReturnParkedPrinters(context);
    EXPECT_EQ(Utf8(subject.pPortName) + " " + Port(u"Subject"), c.returned + " " + c.returned);
    EXPECT_EQ(StringsBut(subject.pPortName), others);
    EXPECT_EQ(Logged(), c.parked == c.returned ? Lines{"Printer Subject is not returned: no room for its port name"}
                                               : Lines(2, "SetPrinter(Subject) - ok"));
  }
}

TEST_F(PortMonitorTest, InstallCopiesTheModuleAndRegistersWithBoundedRetries) {
  const std::string failed = "  AddMonitor - failed. Trying to wait and install again", added = "  AddMonitor - OK :)";
  const struct {
    bool locked;   // the old module is held until the spooler stops
    int refusals;  // armed AddMonitorW failures
    std::uint64_t ms;
    Lines lines;
  } cases[] = {
      {true,
       0,
       5000,
       {"    Copy Failed :(", "  >Restart Spooler", "  >CopyFile vexmon64.dll to C:\\Windows\\system32\\ [1])",
        "    Copy Succeeded :)", added}},
      {false,
       5,
       200,
       {failed, failed, failed, failed, failed,
        "  Error(11): Can`t install a local port monitor'Ravelquill:' - (Access is denied.)"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.refusals);
    NewRun([&](winsim::Machine& m) {
      PutMonitorModule(m, 2415);  // an older module left behind, not registered
      if (c.locked) winsim::LockFile(m, kModule, ERROR_SHARING_VIOLATION, true);
    });
    context.CopyMonitor = c.locked;
    if (c.refusals > 0) machine().FailNext("AddMonitorW", ERROR_ACCESS_DENIED, c.refusals);
    const std::uint64_t before = machine().clock.now;
    InstallPortMonitor(context);
    EXPECT_EQ(Logged(c.lines.size()), c.lines);
    EXPECT_EQ(machine().clock.now - before, c.ms);
    EXPECT_EQ(Registered(), c.refusals < 5);
    EXPECT_EQ(Module()->version->revision, c.locked ? 2446 : 2415);
  }
}

}  // namespace
