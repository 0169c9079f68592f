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
using Builder = std::function<void(winsim::Machine&)>;
using winsim::presets::AddPrinter;
using winsim::presets::AddProductMonitor;
using winsim::presets::PutMonitorModule;

const std::u16string kModule = u"C:\\Windows\\system32\\vexmon64.dll";
const std::string kPath = "C:\\Windows\\system32\\vexmon64.dll";
const std::u16string kDriver = u"Ravelquill printer";

class PortMonitorTest : public ContextTest {
 protected:
  // A new machine for each case of a table, built by `build`, and a context
  // set up on it as a run sets it up; the log is read from there on.
  void NewRun(const Builder& build) {
    FreeContext(context);
    context = InstallContext{};
    EXPECT_TRUE(machine().memory.globalBlocks.empty()) << "the previous case left a global-heap block";
    winsim::SetCurrent(winsim::presets::ProductMachine());
    build(machine());
    InitContext(context, InitFlagX64);
    start_ = LogLines(context).size();
    SetLastError(kPoisonError);
  }
  Lines NewLines() {
    const Lines all = LogLines(context);
    return Lines(all.begin() + static_cast<std::ptrdiff_t>(start_), all.end());
  }
  // The lines after `marker` (a line of the run log), which are those a case is about.
  Lines LinesAfter(const std::string& marker) {
    const Lines lines = NewLines();
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (lines[i] == marker) return Lines(lines.begin() + static_cast<std::ptrdiff_t>(i) + 1, lines.end());
    }
    return {"(no line " + marker + ")"};
  }
  void Remove() {
    MonitorEnumeration monitors;
    EnumMonitorsAll(context, monitors);
    RemovePortMonitor(context, monitors);
    if (monitors.Buffer != nullptr) GlobalFree(monitors.Buffer);
    EXPECT_EQ(context.LogDepth, 0);
  }
  bool Registered() { return machine().spooler.FindMonitor(u"Ravelquill:", u"Windows x64") != nullptr; }
  bool ModuleThere() { return machine().files.Find(kModule) != nullptr; }
  int ModuleBuild() {
    const winsim::File* file = machine().files.Find(kModule);
    return file != nullptr && file->version ? file->version->revision : -1;
  }
  std::string Port(const std::u16string& printer) {
    const winsim::Printer* p = machine().spooler.FindPrinter(printer);
    return p != nullptr ? winsim::Narrow(p->port) : "(none)";
  }
  PRINTER_INFO_2W* Record(const char* name) {
    for (DWORD i = 0; i < context.Printers.Count; ++i) {
      if (Utf8(context.Printers.Buffer[i].pPrinterName) == name) return &context.Printers.Buffer[i];
    }
    return nullptr;
  }
  std::vector<std::string> Parked() {
    std::vector<std::string> names;
    for (auto** p = context.ParkedPrinters; p != nullptr && *p != nullptr; ++p)
      names.push_back(Utf8((*p)->pPrinterName));
    return names;
  }
  // Every string of the snapshot but the port text of `except`, in record order.
  std::vector<std::string> OtherStrings(const PRINTER_INFO_2W* except) {
    std::vector<std::string> texts;
    for (DWORD i = 0; i < context.Printers.Count; ++i) {
      const PRINTER_INFO_2W& r = context.Printers.Buffer[i];
      for (LPCWSTR s : {r.pServerName, r.pPrinterName, r.pShareName, r.pPortName, r.pDriverName, r.pComment,
                        r.pLocation, r.pSepFile, r.pPrintProcessor, r.pDatatype, r.pParameters}) {
        if (&r != except || s != r.pPortName) texts.push_back(s != nullptr ? Utf8(s) : "-");
      }
    }
    return texts;
  }
  std::vector<std::string> Pending() {
    std::vector<std::string> paths;
    for (StringListNode* node = context.PendingDeletes; node != nullptr; node = node->Next)
      paths.push_back(Utf8(node->Text));
    return paths;
  }
  int SpoolerStops() { return machine().services.spooler.stopsAccepted; }

 private:
  std::size_t start_ = 0;
};

void RegisterMonitor(winsim::Machine& m) { AddProductMonitor(m); }

TEST_F(PortMonitorTest, RemovalFindsTheMonitorByItsExactNameOnly) {
  const Lines listTwo = {"  ------- 2 existing monitors ----------", "  1. Local Port"};
  const std::string rule = "  ---------------------------------------";
  struct Case {
    const char* what;
    Builder build;
    Lines lines;
    bool moduleLeft;
    std::vector<std::string> pending = {};
  };
  const Case cases[] = {
      {"registered",
       RegisterMonitor,
       {">DeleteMonitor", listTwo[0], listTwo[1], "  2. Ravelquill:", rule, "  Port monitor is found. Index=2",
        "  Trying to get monitor filename from MONITOR_INFO_2", "  Auto calculated monitor file name: " + kPath,
        "  There is no check for monitor version", "  Monitor was removed :)"},
       false},
      // Not the product's by name, yet the spooler, which ignores case, deletes it.
      {"same name in another case",
       [](winsim::Machine& m) { AddProductMonitor(m).name = u"ravelquill:"; },
       {">DeleteMonitor", listTwo[0], listTwo[1], "  2. ravelquill:", rule, "  No Ravelquill port monitor was found.",
        "  Computing monitor filename", "  Auto calculated monitor file name: " + kPath,
        "  There is no check for monitor version", "  Monitor was removed :)"},
       false},
      // The first entry of the name gives the module, whatever its environment.
      {"two of that name",
       [](winsim::Machine& m) {
         m.spooler.monitors.push_back({u"Ravelquill:", u"Windows NT x86", u"vexmon32.dll"});
         AddProductMonitor(m);
       },
       {">DeleteMonitor", "  ------- 3 existing monitors ----------", listTwo[1],
        "  2. Ravelquill:", "  3. Ravelquill:", rule, "  Port monitor is found. Index=2",
        "  Trying to get monitor filename from MONITOR_INFO_2",
        "  Auto calculated monitor file name: C:\\Windows\\system32\\vexmon32.dll",
        "  There is no check for monitor version", "  Monitor was removed :)"},
       true,
       {"C:\\Windows\\system32\\vexmon32.dll"}},
      {"no monitors at all",
       [](winsim::Machine& m) { m.spooler.monitors.clear(); },
       {"1. EnumMonitors returns true", ">DeleteMonitor", "  BTW, there is no port monitors on this system.",
        "  No Ravelquill port monitor was found.", "  Computing monitor filename",
        "  Auto calculated monitor file name: " + kPath, "  There is no check for monitor version",
        "  Can't delete monitor and monitor was not found. So everything should be ok"},
       false},
      // The path is the system directory itself: it is never deleted.
      {"registered with no module name",
       [](winsim::Machine& m) { AddProductMonitor(m, 2446, u""); },
       {">DeleteMonitor", listTwo[0], listTwo[1], "  2. Ravelquill:", rule, "  Port monitor is found. Index=2",
        "  Trying to get monitor filename from MONITOR_INFO_2",
        "  Auto calculated monitor file name: C:\\Windows\\system32\\", "  There is no check for monitor version",
        "  No monitor file name: the module is not deleted", "  Monitor was removed :)"},
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    NewRun(c.build);
    Remove();
    EXPECT_EQ(NewLines(), c.lines);
    EXPECT_FALSE(Registered());
    EXPECT_EQ(ModuleThere(), c.moduleLeft);
    EXPECT_EQ(context.ErrorCount, 0);
    EXPECT_EQ(context.ParkedPrinters, nullptr);
    EXPECT_EQ(Pending(), c.pending);
  }
}

TEST_F(PortMonitorTest, VersionGateKeepsBuilds2416To2446) {
  const std::optional<WORD> builds[] = {2415, 2416, 2446, 2447, std::nullopt};  // none: no version resource
  for (const std::optional<WORD> build : builds) {
    for (const bool registered : {true, false}) {
      const std::string number = build ? std::to_string(*build) : "none";
      SCOPED_TRACE(number + (registered ? ", registered" : ", module only"));
      NewRun([&](winsim::Machine& m) {
        if (registered)
          AddProductMonitor(m, build);
        else
          PutMonitorModule(m, build);
      });
      context.CheckMonitorVersion = 1;
      Remove();
      const bool compatible = build && *build >= 2416 && *build <= 2446;
      Lines expected;
      if (compatible) {
        expected = {"  Version (" + number + ") is compatible, proceed without uninstall",
                    registered ? "  InstallMonitor == 0, CopyMonitor == 1" : "  InstallMonitor == 1, CopyMonitor == 0"};
      } else {
        expected = {build ? "  Version (" + number + ") is not supported, proceed with reinstall"
                          : "  Version is unknown, proceed with reinstall",
                    registered ? "  Monitor was removed :)"
                               : "  Can't delete monitor and monitor was not found. So everything should be ok"};
      }
      EXPECT_EQ(LinesAfter("  Auto calculated monitor file name: " + kPath), expected);
      EXPECT_EQ(Registered(), registered && compatible);
      EXPECT_EQ(ModuleThere(), compatible || !registered);
      EXPECT_EQ(context.InstallMonitor, compatible && registered ? 0 : 1);
      EXPECT_EQ(context.CopyMonitor, compatible && !registered ? 0 : 1);
    }
  }
}

TEST_F(PortMonitorTest, RemovalParksEveryPrinterOnTheProductPortAndRetries) {
  NewRun([](winsim::Machine& m) {
    AddProductMonitor(m);
    AddPrinter(m, u"Ravelquill", u"Ravelquill:", kDriver, true);
    AddPrinter(m, u"Ledger", u"LPT1:,Ravelquill:", u"Other driver");
    AddPrinter(m, u"Gone", u"Ravelquill:", kDriver);
  });
  machine().spooler.printers.pop_back();  // deleted earlier in the run; still in the snapshot
  Remove();
  EXPECT_EQ(LinesAfter("  There is no check for monitor version"),
            (Lines{"  Can't delete monitor from the first try", "  SetPrinter(Ravelquill) - ok",
                   "  SetPrinter(Ledger) - ok", "  Can't open printer Gone", "  Monitor was removed :)"}));
  EXPECT_EQ(Parked(), (std::vector<std::string>{"Ravelquill", "Ledger", "Gone"}));
  EXPECT_EQ(Port(u"Ravelquill"), "file:");
  EXPECT_EQ(Port(u"Ledger"), "LPT1:,file:");
  EXPECT_EQ(Port(u"Microsoft Print to PDF"), "PORTPROMPT:");
  EXPECT_EQ(machine().spooler.defaultPrinter, u"Ravelquill");
  EXPECT_EQ(SpoolerStops(), 0);
  EXPECT_FALSE(Registered());
  EXPECT_FALSE(ModuleThere());
  EXPECT_EQ(context.ErrorCount, 0);
}

TEST_F(PortMonitorTest, RemovalRestartsTheSpoolerOnceBeforeItsLastAttempt) {
  const std::string inUse =
      "  Error(12): Can`t remove the port monitor 'Ravelquill:'"
      " - (The specified print monitor is currently in use.)";
  struct Case {
    const char* what;
    int refusals;          // armed DeleteMonitorW failures
    const char16_t* port;  // of a product printer, or none
    Lines lines;
  };
  const Case cases[] = {
      {"refused twice",
       2,
       nullptr,
       {"  Can't delete monitor from the first try", "  >Restart Spooler", "  Monitor was removed :)"}},
      {"refused three times", 3, nullptr, {"  Can't delete monitor from the first try", "  >Restart Spooler", inUse}},
      // Only the first "Ravelquill:" of a port list is parked: still in use.
      {"in use twice by one printer",
       0,
       u"Ravelquill:,Ravelquill:",
       {"  Can't delete monitor from the first try", "  SetPrinter(Twin) - ok", "  >Restart Spooler", inUse}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    NewRun([&](winsim::Machine& m) {
      AddProductMonitor(m);
      if (c.port != nullptr) AddPrinter(m, u"Twin", c.port, kDriver);
    });
    if (c.refusals > 0) machine().FailNext("DeleteMonitorW", ERROR_PRINT_MONITOR_IN_USE, c.refusals);
    Remove();
    const bool removed = c.lines.back() == "  Monitor was removed :)";
    EXPECT_EQ(LinesAfter("  There is no check for monitor version"), c.lines);
    EXPECT_EQ(SpoolerStops(), 1);
    EXPECT_TRUE(winsim::SpoolerRunning(machine()));
    EXPECT_EQ(Registered(), !removed);
    EXPECT_EQ(ModuleThere(), !removed);
    EXPECT_EQ(context.ErrorCount, removed ? 0 : 1);
  }
  EXPECT_EQ(Port(u"Twin"), "file:,Ravelquill:");
}

// Parking shortens the port text in place and returning lengthens it into
// the room parking left; no other string of the snapshot changes.
TEST_F(PortMonitorTest, ParkingAndReturningRewriteOnlyThePortText) {
  struct Case {
    const char16_t* port;
    const char* parked;
    const char* returned;
  };
  const Case cases[] = {
      {u"Ravelquill:", "file:", "Ravelquill:"},
      {u"Ravelquill:,LPT1:", "file:,LPT1:", "Ravelquill:,LPT1:"},
      {u"LPT1:,Ravelquill:,COM1:", "LPT1:,file:,COM1:", "LPT1:,Ravelquill:,COM1:"},
      {u"LPT1:,Ravelquill:", "LPT1:,file:", "LPT1:,Ravelquill:"},
      {u"Ravelquill:,Ravelquill:", "file:,Ravelquill:", "Ravelquill:,Ravelquill:"},
      // The first "file:" is the one returned.
      {u"file:,Ravelquill:", "file:,file:", "Ravelquill:,file:"},
      {u"Ravelquill:,file:", "file:,file:", "Ravelquill:,file:"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(winsim::Narrow(c.port));
    NewRun([&](winsim::Machine& m) {
      AddProductMonitor(m);
      AddPrinter(m, u"Before", u"COM2:", u"Other driver");
      AddPrinter(m, u"Subject", c.port, kDriver);
      AddPrinter(m, u"After", u"LPT2:", u"Other driver");
    });
    PRINTER_INFO_2W* subject = Record("Subject");
    ASSERT_NE(subject, nullptr);
    const auto others = OtherStrings(subject);

    ParkProductPrinters(context);
    EXPECT_EQ(Utf8(subject->pPortName), c.parked);
    EXPECT_EQ(Port(u"Subject"), c.parked);
    EXPECT_EQ(OtherStrings(subject), others);

    ReturnParkedPrinters(context);
    EXPECT_EQ(Utf8(subject->pPortName), c.returned);
    EXPECT_EQ(Port(u"Subject"), c.returned);
    EXPECT_EQ(OtherStrings(subject), others);
    EXPECT_EQ(NewLines(), (Lines{"SetPrinter(Subject) - ok", "SetPrinter(Subject) - ok"}));
  }
}

// A port text that parking did not shorten has no room for the longer name.
TEST_F(PortMonitorTest, ReturnLeavesAPortTextWithNoRoomAlone) {
  NewRun([](winsim::Machine& m) {
    AddProductMonitor(m);
    AddPrinter(m, u"Plain", u"file:", u"Other driver");
    AddPrinter(m, u"After", u"LPT2:", u"Other driver");
  });
  PRINTER_INFO_2W* plain = Record("Plain");
  ASSERT_NE(plain, nullptr);
  const auto others = OtherStrings(plain);
  context.ParkedPrinters = static_cast<PRINTER_INFO_2W**>(GlobalAlloc(GPTR, 2 * sizeof(void*)));
  context.ParkedPrinters[0] = plain;

  ReturnParkedPrinters(context);
  EXPECT_EQ(NewLines(), Lines{"Printer Plain is not returned: no room for its port name"});
  EXPECT_EQ(Utf8(plain->pPortName), "file:");
  EXPECT_EQ(OtherStrings(plain), others);
  EXPECT_EQ(Port(u"Plain"), "file:");
}

TEST_F(PortMonitorTest, InstallCopiesTheModuleAndRegistersWithBoundedRetries) {
  const Lines quietCopy = {"  Copy monitor file", "  >CopyFile vexmon64.dll to C:\\Windows\\system32\\ [0])"};
  const std::string failed = "  AddMonitor - failed. Trying to wait and install again";
  struct Case {
    const char* what;
    bool copy;
    int refusals;  // armed AddMonitorW failures
    bool locked;   // the old module is held until the spooler stops
    Lines lines;
    std::uint64_t sleptMs;
  };
  const Case cases[] = {
      {"copy", true, 0, false, {quietCopy[0], quietCopy[1], "    Copy Succeeded :)", "  AddMonitor - OK :)"}, 0},
      {"copy with the spooler stopped",
       true,
       0,
       true,
       {quietCopy[0], quietCopy[1], "    Copy Failed :(", "  >Restart Spooler",
        "  >CopyFile vexmon64.dll to C:\\Windows\\system32\\ [1])", "    Copy Succeeded :)", "  AddMonitor - OK :)"},
       5000},
      {"no copy", false, 0, false, {"  Skip copy monitor file", "  AddMonitor - OK :)"}, 0},
      {"refused four times",
       false,
       4,
       false,
       {"  Skip copy monitor file", failed, failed, failed, failed, "  AddMonitor - OK :)"},
       200},
      {"refused five times",
       false,
       5,
       false,
       {"  Skip copy monitor file", failed, failed, failed, failed, failed,
        "  Error(11): Can`t install a local port monitor'Ravelquill:' - (Access is denied.)"},
       200},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    NewRun([&](winsim::Machine& m) {
      PutMonitorModule(m, 2415);  // an older module left behind, not registered
      if (c.locked) winsim::LockFile(m, kModule, ERROR_SHARING_VIOLATION, true);
    });
    context.CopyMonitor = c.copy ? 1 : 0;
    if (c.refusals > 0) machine().FailNext("AddMonitorW", ERROR_ACCESS_DENIED, c.refusals);
    const std::uint64_t before = machine().clock.now;

    InstallPortMonitor(context);
    Lines expected = {">AddMonitor"};
    expected.insert(expected.end(), c.lines.begin(), c.lines.end());
    EXPECT_EQ(NewLines(), expected);
    EXPECT_EQ(machine().clock.now - before, c.sleptMs);
    EXPECT_EQ(SpoolerStops(), c.locked ? 1 : 0);
    EXPECT_EQ(Registered(), c.refusals < 5);
    EXPECT_EQ(ModuleBuild(), c.copy ? 2446 : 2415);
    EXPECT_EQ(context.ErrorCount, c.refusals < 5 ? 0 : 1);
    EXPECT_EQ(context.LogDepth, 0);
  }
}

TEST_F(PortMonitorTest, InstallReturnsTheParkedPrinters) {
  NewRun([](winsim::Machine& m) {
    AddProductMonitor(m);
    AddPrinter(m, u"Ravelquill", u"Ravelquill:", kDriver);
    AddPrinter(m, u"Gone", u"Ravelquill:", kDriver);
  });
  machine().spooler.printers.pop_back();
  ParkProductPrinters(context);
  ASSERT_TRUE(DeleteProductMonitor(TEXT("Windows x64")));
  context.CopyMonitor = 0;
  const std::size_t parkingLines = NewLines().size();

  InstallPortMonitor(context);
  const Lines lines = NewLines();
  EXPECT_EQ(Lines(lines.begin() + static_cast<std::ptrdiff_t>(parkingLines), lines.end()),
            (Lines{">AddMonitor", "  Skip copy monitor file", "  AddMonitor - OK :)", "  SetPrinter(Ravelquill) - ok",
                   "  Can't open printer Gone"}));
  EXPECT_EQ(Port(u"Ravelquill"), "Ravelquill:");
  EXPECT_EQ(Parked(), (std::vector<std::string>{"Ravelquill", "Gone"}));  // kept for FreeContext
}

}  // namespace
