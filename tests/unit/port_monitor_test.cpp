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

const std::u16string kModule = u"C:\\Windows\\system32\\vexmon64.dll";
const std::u16string kDriver = u"Ravelquill printer";
const std::string kRule = "  " + std::string(39, '-');
const std::string kAuto = "  Auto calculated monitor file name: C:\\Windows\\system32\\";
const std::string kNoCheck = "  There is no check for monitor version";
const std::string kRemoved = "  Monitor was removed :)";
const std::string kNotFoundOk = "  Can't delete monitor and monitor was not found. So everything should be ok";
const std::string kFirstTry = "  Can't delete monitor from the first try";

class PortMonitorTest : public ContextTest {
 protected:
  // A new machine per case of a table, and a context set up on it as a run
  // sets it up. The previous case must have released its blocks.
  void NewRun(const Build& build) {
    FreshRun();
    build(machine());
    InitContext(context, InitFlagX64);
    start_ = LogLines(context).size();
    SetLastError(kPoisonError);
  }
  // The lines written since NewRun that follow the line `after` (all when it is absent).
  Lines Logged(const std::string& after = std::string()) {
    const Lines all = LogLines(context);
    auto from = all.begin() + static_cast<std::ptrdiff_t>(start_);
    const auto marker = std::find(from, all.end(), after);
    return Lines(marker == all.end() ? from : marker + 1, all.end());
  }
  void Remove() {
    MonitorEnumeration monitors;
    EnumMonitorsAll(context, monitors);
    RemovePortMonitor(context, monitors);
    if (monitors.Buffer != nullptr) GlobalFree(monitors.Buffer);
    EXPECT_EQ(context.LogDepth, 0);
  }
  bool Registered() { return machine().spooler.FindMonitor(u"Ravelquill:", u"Windows x64") != nullptr; }
  const winsim::File* Module() { return machine().files.Find(kModule); }
  std::string Port(const std::u16string& name) { return winsim::Narrow(machine().spooler.FindPrinter(name)->port); }
  int Stops() { return machine().services.spooler.stopsAccepted; }
  // Every string of the snapshot but one.
  Lines StringsBut(LPCWSTR except) {
    Lines texts;
    for (const PRINTER_INFO_2W* r = context.Printers.Buffer; r != context.Printers.Buffer + context.Printers.Count;
         ++r) {
      for (LPCWSTR s : {r->pServerName, r->pPrinterName, r->pShareName, r->pPortName, r->pDriverName, r->pComment,
                        r->pLocation, r->pSepFile, r->pPrintProcessor, r->pDatatype, r->pParameters}) {
        if (s != except) texts.push_back(Utf8(s));
      }
    }
    return texts;
  }

 private:
  std::size_t start_ = 0;
};

TEST_F(PortMonitorTest, RemovalFindsTheMonitorByItsExactName) {
  const std::string found = "  Port monitor is found. Index=2",
                    info = "  Trying to get monitor filename from MONITOR_INFO_2";
  const std::string notFound = "  No Ravelquill port monitor was found.", computing = "  Computing monitor filename";
  struct Case {
    Build build;
    const char* pending;  // the path left to delete later
    Lines lines;          // after the monitor list
  };
  // The product's own monitor, found by its name, is in the uninstall run's log.
  const Case cases[] = {
      // Not the product's by its name; the spooler, which ignores case, deletes it all the same.
      {[](winsim::Machine& m) { AddProductMonitor(m).name = u"ravelquill:"; },
       nullptr,
       {notFound, computing, kAuto + "vexmon64.dll", kNoCheck, kRemoved}},
      // The first of the name gives the module, here one that is missing.
      {[](winsim::Machine& m) {
         m.spooler.monitors.push_back({u"Ravelquill:", u"Windows NT x86", u"vexmon32.dll"});
         AddProductMonitor(m);
       },
       "C:\\Windows\\system32\\vexmon32.dll",
       {found, info, kAuto + "vexmon32.dll", kNoCheck, kRemoved}},
      {[](winsim::Machine& m) { m.spooler.monitors.clear(); },
       nullptr,
       {"1. EnumMonitors returns true", ">DeleteMonitor", "  BTW, there is no port monitors on this system.", notFound,
        computing, kAuto + "vexmon64.dll", kNoCheck, kNotFoundOk}},
      // The path is the system directory itself: never deleted nor listed.
      {[](winsim::Machine& m) { AddProductMonitor(m, 2446, u""); },
       nullptr,
       {found, info, kAuto, kNoCheck, "  No monitor file name: the module is not deleted", kRemoved}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines[2]);
    NewRun(c.build);
    Remove();
    EXPECT_EQ(Logged(kRule), c.lines);
    EXPECT_FALSE(Registered());
    EXPECT_EQ(Module() != nullptr, c.pending != nullptr);
    EXPECT_EQ(context.PendingDeletes ? Utf8(context.PendingDeletes->Text) : "", c.pending ? c.pending : "");
    EXPECT_EQ(context.ErrorCount, 0);
  }
}

TEST_F(PortMonitorTest, VersionGateKeepsBuilds2416To2446) {
  const std::optional<WORD> builds[] = {2415, 2416, 2446, 2447, std::nullopt};  // none: no version resource
  for (const std::optional<WORD> build : builds) {
    for (const bool registered : {true, false}) {
      const std::string number = build ? std::to_string(*build) : "none";
      SCOPED_TRACE(number + (registered ? ", registered" : ", module only"));
      NewRun([&](winsim::Machine& m) {
        registered ? (void)AddProductMonitor(m, build) : (void)PutMonitorModule(m, build);
      });
      context.CheckMonitorVersion = 1;
      Remove();
      const bool keep = build && *build >= 2416 && *build <= 2446;
      const Lines expected = {
          keep    ? "  Version (" + number + ") is compatible, proceed without uninstall"
          : build ? "  Version (" + number + ") is not supported, proceed with reinstall"
                  : "  Version is unknown, proceed with reinstall",
          keep ? (registered ? "  InstallMonitor == 0, CopyMonitor == 1" : "  InstallMonitor == 1, CopyMonitor == 0")
               : (registered ? kRemoved : kNotFoundOk)};
      EXPECT_EQ(Logged(kAuto + "vexmon64.dll"), expected);
      EXPECT_EQ(Registered(), registered && keep);
      EXPECT_EQ(Module() != nullptr, keep || !registered);
      EXPECT_EQ(context.InstallMonitor + 2 * context.CopyMonitor, keep ? (registered ? 2 : 1) : 3);
    }
  }
}

// A monitor in use: its printers are parked on "file:" (one deleted earlier
// in the run too), the monitor goes, its loaded module waits for a restart,
// and the install returns the printers.
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
  EXPECT_EQ(Logged(kNoCheck), (Lines{kFirstTry, moved[0], moved[1], moved[2], kRemoved}));
  EXPECT_EQ(Port(u"Ravelquill") + " " + Port(u"Ledger"), "file: LPT1:,file:");
  EXPECT_EQ(Utf8(context.PendingDeletes->Text), winsim::Narrow(kModule));
  EXPECT_EQ(Stops(), 0);

  context.CopyMonitor = 0;
  InstallPortMonitor(context);
  EXPECT_EQ(Logged(kRemoved),
            (Lines{">AddMonitor", "  Skip copy monitor file", "  AddMonitor - OK :)", moved[0], moved[1], moved[2]}));
  EXPECT_EQ(Port(u"Ravelquill") + " " + Port(u"Ledger"), "Ravelquill: LPT1:,Ravelquill:");
  EXPECT_EQ(machine().spooler.defaultPrinter, u"Ravelquill");
}

TEST_F(PortMonitorTest, RemovalRestartsTheSpoolerOnceBeforeItsLastAttempt) {
  const std::string failed =
      "  Error(12): Can`t remove the port monitor 'Ravelquill:' - (The specified print monitor is currently in use.)";
  for (const bool twice : {false, true}) {
    SCOPED_TRACE(twice);
    // Only the first "Ravelquill:" of a port list is parked: still in use.
    NewRun([&](winsim::Machine& m) {
      AddProductMonitor(m);
      if (twice) AddPrinter(m, u"Twin", u"Ravelquill:,Ravelquill:", kDriver);
    });
    if (!twice) machine().FailNext("DeleteMonitorW", ERROR_PRINT_MONITOR_IN_USE, 2);
    Remove();
    const Lines expected = twice ? Lines{kFirstTry, "  SetPrinter(Twin) - ok", "  >Restart Spooler", failed}
                                 : Lines{kFirstTry, "  >Restart Spooler", kRemoved};
    EXPECT_EQ(Logged(kNoCheck), expected);
    EXPECT_EQ(Stops(), 1);
    EXPECT_EQ(Registered(), twice);
    EXPECT_EQ(Module() != nullptr, twice);
    EXPECT_EQ(context.ErrorCount, twice ? 1 : 0);
  }
}

// Parking shortens the port text in place and returning lengthens it into
// the room parking left; no other string of the snapshot changes. A text
// that parking did not shorten has no such room and is left alone.
TEST_F(PortMonitorTest, PortTextsAreRewrittenInsideTheirOwnStorage) {
  const Lines ok = {"SetPrinter(Subject) - ok", "SetPrinter(Subject) - ok"};
  struct Case {
    const char16_t* port;
    const char *parked, *returned;
    Lines lines;
  };
  const Case cases[] = {
      {u"Ravelquill:", "file:", "Ravelquill:", ok},
      {u"Ravelquill:,LPT1:", "file:,LPT1:", "Ravelquill:,LPT1:", ok},
      {u"LPT1:,Ravelquill:,COM1:", "LPT1:,file:,COM1:", "LPT1:,Ravelquill:,COM1:", ok},
      {u"LPT1:,Ravelquill:", "LPT1:,file:", "LPT1:,Ravelquill:", ok},
      {u"Ravelquill:,Ravelquill:", "file:,Ravelquill:", "Ravelquill:,Ravelquill:", ok},
      {u"file:,Ravelquill:", "file:,file:", "Ravelquill:,file:", ok},  // the first "file:" returns
      {u"Ravelquill:,file:", "file:,file:", "Ravelquill:,file:", ok},
      {u"file:", "file:", "file:", {"Printer Subject is not returned: no room for its port name"}},  // listed by hand
  };
  for (const Case& c : cases) {
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
    EXPECT_EQ(Utf8(subject.pPortName) + " " + Port(u"Subject"), std::string(c.parked) + " " + c.parked);
    ReturnParkedPrinters(context);
    EXPECT_EQ(Utf8(subject.pPortName) + " " + Port(u"Subject"), std::string(c.returned) + " " + c.returned);
    EXPECT_EQ(StringsBut(subject.pPortName), others);
    EXPECT_EQ(Logged(), c.lines);
  }
}

TEST_F(PortMonitorTest, InstallCopiesTheModuleAndRegistersWithBoundedRetries) {
  const std::string copy = "  Copy monitor file", quiet = "  >CopyFile vexmon64.dll to C:\\Windows\\system32\\ [0])";
  const std::string failed = "  AddMonitor - failed. Trying to wait and install again", added = "  AddMonitor - OK :)";
  const std::string skip = "  Skip copy monitor file", copied = "    Copy Succeeded :)";
  struct Case {
    bool copy, locked;  // locked: the old module is held until the spooler stops
    int refusals;       // armed AddMonitorW failures
    std::uint64_t ms;
    Lines lines;
  };
  const Case cases[] = {
      {true, false, 0, 0, {copy, quiet, copied, added}},
      {true,
       true,
       0,
       5000,
       {copy, quiet, "    Copy Failed :(", "  >Restart Spooler",
        "  >CopyFile vexmon64.dll to C:\\Windows\\system32\\ [1])", copied, added}},
      {false, false, 0, 0, {skip, added}},
      {false, false, 4, 200, {skip, failed, failed, failed, failed, added}},
      {false,
       false,
       5,
       200,
       {skip, failed, failed, failed, failed, failed,
        "  Error(11): Can`t install a local port monitor'Ravelquill:' - (Access is denied.)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines.size());
    NewRun([&](winsim::Machine& m) {
      PutMonitorModule(m, 2415);  // an older module left behind, not registered
      if (c.locked) winsim::LockFile(m, kModule, ERROR_SHARING_VIOLATION, true);
    });
    context.CopyMonitor = c.copy;
    if (c.refusals > 0) machine().FailNext("AddMonitorW", ERROR_ACCESS_DENIED, c.refusals);
    const std::uint64_t before = machine().clock.now;
    InstallPortMonitor(context);
    EXPECT_EQ(Logged(">AddMonitor"), c.lines);
    EXPECT_EQ(machine().clock.now - before, c.ms);
    EXPECT_EQ(Stops(), c.locked ? 1 : 0);
    EXPECT_EQ(Registered(), c.refusals < 5);
    EXPECT_EQ(Module()->version->revision, c.copy ? 2446 : 2415);
    EXPECT_EQ(context.ErrorCount, c.refusals < 5 ? 0 : 1);
  }
}

}  // namespace
