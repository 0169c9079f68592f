// Every call of a run failed in turn, as SQLite's tests fail every
// allocation and every I/O call: a run is made once to count the calls of
// the installer that can fail, then once more per call with that call
// failing as it most plausibly fails on Windows. Each run must end orderly,
// and the table of outcomes is the report.
#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <winsim/trace.h>
#include <winsim_presets/monitor.h>
#include <winsim_presets/queues.h>

#include "canonical_machine.h"
#include "shell/exit_codes.h"
#include "test_support.h"
#include "worst_case_bounds.h"

namespace {

using winsim::Machine;
using Json = nlohmann::json;

// The errors each function most plausibly fails with on Windows, the most
// plausible first; each is a run of its own. None: the call cannot fail on
// what the installer gives it (closing a handle it holds), so it is not
// failed. Functions not named here cannot fail at all and are not counted
// (GetLastError, Sleep, GetTickCount, GlobalFree, ...).
const std::map<std::string, std::vector<DWORD>> kPlausibleErrors = {
    // Memory.
    {"GlobalAlloc", {ERROR_NOT_ENOUGH_MEMORY}},
    {"LocalAlloc", {ERROR_NOT_ENOUGH_MEMORY}},
    {"CommandLineToArgvW", {ERROR_NOT_ENOUGH_MEMORY}},
    {"FormatMessageW", {ERROR_NOT_ENOUGH_MEMORY}},
    {"MultiByteToWideChar", {1113}},  // ERROR_NO_UNICODE_TRANSLATION
    // Files: held by another program, or refused.
    {"CreateFileW", {ERROR_SHARING_VIOLATION, ERROR_ACCESS_DENIED}},
    {"ReadFile", {33}},  // ERROR_LOCK_VIOLATION
    {"WriteFile", {ERROR_DISK_FULL}},
    {"DeleteFileW", {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION}},
    {"MoveFileExW", {ERROR_ACCESS_DENIED}},
    {"GetFileAttributesW", {ERROR_ACCESS_DENIED}},
    {"SetFileAttributesW", {ERROR_ACCESS_DENIED}},
    {"FlushFileBuffers", {ERROR_DISK_FULL}},
    {"CreateDirectoryW", {ERROR_ACCESS_DENIED, ERROR_DISK_FULL}},
    {"FindFirstFileW", {ERROR_ACCESS_DENIED}},
    {"FindNextFileW", {ERROR_ACCESS_DENIED}},
    {"FindClose", {}},
    {"SHGetFolderPathW", {ERROR_ACCESS_DENIED}},  // E_FAIL, as a redirected folder out of reach gives
    {"WideCharToMultiByte", {1113}},              // ERROR_NO_UNICODE_TRANSLATION
    {"GetFileVersionInfoSizeW", {ERROR_RESOURCE_TYPE_NOT_FOUND}},
    {"GetFileVersionInfoW", {ERROR_RESOURCE_TYPE_NOT_FOUND}},
    {"VerQueryValueW", {ERROR_RESOURCE_TYPE_NOT_FOUND}},
    {"GetModuleFileNameW", {ERROR_NOT_ENOUGH_MEMORY}},
    {"GetSystemDirectoryW", {ERROR_ACCESS_DENIED}},
    {"GetVersionExA", {ERROR_INVALID_PARAMETER}},
    // The registry.
    {"RegOpenKeyExW", {ERROR_ACCESS_DENIED}},
    {"RegOpenKeyExA", {ERROR_ACCESS_DENIED}},
    {"RegCreateKeyExW", {ERROR_ACCESS_DENIED}},
    {"RegQueryValueExW", {ERROR_ACCESS_DENIED}},
    {"RegQueryValueExA", {ERROR_ACCESS_DENIED}},
    {"RegSetValueExW", {ERROR_ACCESS_DENIED}},
    {"RegDeleteValueW", {ERROR_ACCESS_DENIED}},
    {"RegDeleteValueA", {ERROR_ACCESS_DENIED}},
    {"RegDeleteKeyW", {ERROR_ACCESS_DENIED}},
    {"RegCloseKey", {}},
    // The service control manager refuses; the spooler is out of reach.
    {"OpenSCManagerW", {ERROR_ACCESS_DENIED}},
    {"OpenServiceW", {ERROR_ACCESS_DENIED}},
    {"ControlService", {ERROR_ACCESS_DENIED, ERROR_SERVICE_CANNOT_ACCEPT_CTRL}},
    {"QueryServiceStatus", {ERROR_ACCESS_DENIED}},
    {"StartServiceW", {ERROR_ACCESS_DENIED, ERROR_SERVICE_DISABLED}},
    {"CloseServiceHandle", {}},
    {"EnumMonitorsW", {RPC_S_SERVER_UNAVAILABLE, ERROR_ACCESS_DENIED}},
    {"EnumPrinterDriversW", {RPC_S_SERVER_UNAVAILABLE, ERROR_ACCESS_DENIED}},
    {"EnumPrintersW", {RPC_S_SERVER_UNAVAILABLE, ERROR_ACCESS_DENIED}},
    {"GetPrinterDriverDirectoryW", {RPC_S_SERVER_UNAVAILABLE}},
    {"GetPrinterDriverW", {RPC_S_SERVER_UNAVAILABLE}},
    {"GetPrinterW", {RPC_S_SERVER_UNAVAILABLE}},
    {"GetPrinterDataA", {RPC_S_SERVER_UNAVAILABLE}},
    {"GetPrinterDataExA", {RPC_S_SERVER_UNAVAILABLE}},
    {"GetDefaultPrinterW", {RPC_S_SERVER_UNAVAILABLE}},
    {"OpenPrinterW", {RPC_S_SERVER_UNAVAILABLE, ERROR_ACCESS_DENIED}},
    {"AddMonitorW", {ERROR_ACCESS_DENIED, RPC_S_SERVER_UNAVAILABLE}},
    {"DeleteMonitorW", {ERROR_PRINT_MONITOR_IN_USE, ERROR_ACCESS_DENIED}},
    {"AddPrinterDriverExW", {ERROR_ACCESS_DENIED, RPC_S_SERVER_UNAVAILABLE}},
    {"DeletePrinterDriverExW", {ERROR_PRINTER_DRIVER_IN_USE, ERROR_ACCESS_DENIED}},
    {"AddPrinterW", {ERROR_ACCESS_DENIED, RPC_S_SERVER_UNAVAILABLE}},
    {"DeletePrinter", {ERROR_ACCESS_DENIED, RPC_S_SERVER_UNAVAILABLE}},
    {"SetPrinterW", {ERROR_ACCESS_DENIED}},
    {"SetPrinterDataA", {ERROR_ACCESS_DENIED}},
    {"SetPrinterDataExA", {ERROR_ACCESS_DENIED}},
    {"SetDefaultPrinterW", {ERROR_ACCESS_DENIED}},
    {"ClosePrinter", {}},
    // Windows gone meanwhile; objects of another session or user.
    {"FindWindowW", {ERROR_ACCESS_DENIED}},
    {"PostMessageW", {ERROR_INVALID_WINDOW_HANDLE}},
    {"GetWindowThreadProcessId", {ERROR_INVALID_WINDOW_HANDLE}},
    {"DialogBoxParamW", {ERROR_RESOURCE_DATA_NOT_FOUND}},
    {"SetDlgItemTextW", {ERROR_INVALID_WINDOW_HANDLE}},
    {"SetWindowTextW", {ERROR_INVALID_WINDOW_HANDLE}},
    {"GetProcessWindowStation", {ERROR_ACCESS_DENIED}},
    {"GetUserObjectInformationW", {ERROR_ACCESS_DENIED}},
    // Processes and mutexes.
    {"CreateProcessW", {ERROR_FILE_NOT_FOUND}},
    {"GetExitCodeProcess", {ERROR_ACCESS_DENIED}},
    {"TerminateProcess", {ERROR_ACCESS_DENIED}},
    {"WaitForSingleObject", {ERROR_ACCESS_DENIED}},
    {"CreateMutexW", {ERROR_ACCESS_DENIED}},
    {"CreateMutexA", {ERROR_ACCESS_DENIED}},
    {"OpenMutexW", {ERROR_ACCESS_DENIED}},
    {"OpenMutexA", {ERROR_ACCESS_DENIED}},
    {"ReleaseMutex", {ERROR_NOT_OWNER}},
    {"CloseHandle", {}},
};

// Calls that cannot fail: winsim neither counts nor fails them.
const std::set<std::string> kCannotFail = {"GetLastError", "SetLastError",    "GetTickCount",     "GetLocalTime",
                                           "Sleep",        "GetCommandLineW", "ExitProcess",      "GlobalFree",
                                           "LocalFree",    "IsWindow",        "GetAsyncKeyState", "EndDialog"};

// Product printers with their settings linked both ways, the middle one the
// default, and a printer of another product.
void UserPrinters(Machine& m) {
  for (const char* settings : {"A", "B", "C"}) {
    const std::u16string name = u"Office " + winsim::Widen(settings);
    winsim::Printer& p =
        winsim::presets::AddPrinter(m, name, u"Ravelquill:", u"Ravelquill printer", settings[0] == 'B');
    p.comment = name + u" comment";
    for (const char16_t* key : {u"PrinterDriverData", u"DsUser"}) winsim::presets::PutSettingsName(p, key, settings);
    m.registry.SetDword(winsim::presets::SettingsKey(settings), u"deleted", 1);
  }
  winsim::presets::AddPrinter(m, u"Foreign", u"LPT1:", u"Microsoft Print To PDF");
}

void PendingMonitorModule(Machine& m) {
  m.registry.SetMultiString(winsim::kSessionManagerKey, winsim::kPendingRenamesValue,
                            {u"\\??\\" + winsim::presets::SystemPath(m), u""});
}

// install: a fresh machine; reinstall: over the printers above, the product
// installed; uninstall; onInit: a product file pending deletion;
// removetray: the tray program running.
struct Scenario {
  const char* name;
  bool installedFirst;
  std::function<void(Machine&)> arrange;
  const char16_t* command;
  int cleanExit;
};
const Scenario kScenarios[] = {
    {"install", false, [](Machine&) {}, u"install", ExitInstalled},
    {"reinstall", true, UserPrinters, u"install", ExitInstalled},
    {"uninstall", true, [](Machine&) {}, u"uninstall", ExitUninstalled},
    {"onInit", true, PendingMonitorModule, u"onInit", ExitFilesPending},
    {"removetray", true, [](Machine&) {}, u"removetray", ExitNoCommand},
};

// The runs that end without an error line yet not as the clean run does
// (another exit code, or another machine), each the installer's chosen way
// with that failure: the run, the function failed, and why. Every row must
// still be met, so the list stays the list of such outcomes.
struct QuietOutcome {
  const char* run;
  const char* function;
  const char* why;
};
const char kNoSplit[] = "a command line that cannot be split runs no command (exit 6)";
const char kNoMutex[] = "without the tray's mutex the tray program is not stopped, nor its file deleted";
const char kRunKey[] = "the Run key or value that cannot be read or written is passed over";
const char kNoVersion[] = "without the Windows version the tray program is neither registered nor started";
const char kTrayStart[] = "the tray program's registration and start are not checked";
const char kSettings[] = "settings that cannot be saved or restored are passed over";
const char kPendingList[] = "an unreadable pending list, or a file not seen, holds no product file";
const QuietOutcome kQuietOutcomes[] = {
    {"install", "CommandLineToArgvW", kNoSplit},
    {"install", "GetVersionExA", kNoVersion},
    {"install", "RegOpenKeyExW", kRunKey},
    {"install", "RegSetValueExW", kRunKey},
    {"install", "CreateProcessW", kTrayStart},
    {"reinstall", "CommandLineToArgvW", kNoSplit},
    {"reinstall", "CreateMutexA", kNoMutex},
    {"reinstall", "RegOpenKeyExW", kRunKey},
    {"reinstall", "RegQueryValueExW", kRunKey},
    {"reinstall", "RegSetValueExW", kRunKey},
    {"reinstall", "GetVersionExA", kNoVersion},
    {"reinstall", "GetDefaultPrinterW", "a default printer that cannot be read is not marked, so not restored"},
    {"reinstall", "OpenPrinterW", "a printer that cannot be opened for saving is not recorded, so not re-created"},
    {"reinstall", "GlobalAlloc", kSettings},
    {"reinstall", "SetPrinterDataA", kSettings},
    {"reinstall", "SetPrinterDataExA", kSettings},
    {"reinstall", "RegOpenKeyExA", kSettings},
    {"reinstall", "RegDeleteValueA", kSettings},
    {"reinstall", "GetPrinterW", kSettings},
    {"reinstall", "SetPrinterW", kSettings},
    {"reinstall", "SetDefaultPrinterW", kSettings},
    {"uninstall", "CommandLineToArgvW", kNoSplit},
    {"uninstall", "CreateMutexA", kNoMutex},
    {"uninstall", "RegOpenKeyExW", kRunKey},
    {"uninstall", "RegQueryValueExW", kRunKey},
    {"uninstall", "RegDeleteValueA", kRunKey},
    {"onInit", "CommandLineToArgvW", kNoSplit},
    {"onInit", "RegOpenKeyExW", kPendingList},
    {"onInit", "RegQueryValueExW", kPendingList},
    {"onInit", "GlobalAlloc", kPendingList},
    {"onInit", "GetFileAttributesW", kPendingList},
    {"onInit", "StartServiceW", "a spooler that does not come back is not reported"},
    {"removetray", "CommandLineToArgvW", kNoSplit},
    {"removetray", "CreateMutexA", kNoMutex},
    {"removetray", "RegOpenKeyExW", kRunKey},
    {"removetray", "RegQueryValueExW", kRunKey},
    {"removetray", "RegDeleteValueA", kRunKey},
};

// How the runs of one scenario ended.
struct Tally {
  int calls = 0;
  int notFailed = 0;     // calls that cannot fail on what they are given
  int runs = 0;          // one per call failed and error
  int errorLine = 0;     // an error line written (the log shown as the error log)
  int unchanged = 0;     // nothing visible: the clean run's exit code and machine
  int otherExit = 0;     // no error line, another exit code
  int otherMachine = 0;  // no error line, the same exit code, another machine
};

class FaultSweepTest : public MachineTest {
 protected:
  ~FaultSweepTest() override { winsim::trace::StartRecording(false); }
  // The machine a scenario starts from; Shift is held so that the log is
  // shown, and an error line can be seen, whatever the run writes.
  std::unique_ptr<Machine> Start(const Scenario& s) {
    NextMachine();
    if (s.installedFirst) {
      EXPECT_EQ(Run(u"install"), ExitInstalled);
    }
    s.arrange(machine());
    machine().desktop.shiftDown = true;
    return machine().Copy();
  }
  // The names of the calls that can fail, in the order the run makes them.
  std::vector<std::string> CleanRun(const Scenario& s, const Machine& start, Json& canonical) {
    winsim::SetCurrent(start.Copy());
    winsim::trace::StartRecording();
    const std::uint64_t before = machine().calls;
    EXPECT_EQ(Run(s.command), s.cleanExit);
    std::vector<std::string> names;
    for (const auto& call : winsim::trace::Calls()) {
      if (kCannotFail.count(call.name) == 0) names.push_back(call.name);
    }
    winsim::trace::StartRecording(false);
    EXPECT_EQ(names.size(), machine().calls - before) << "the calls counted are the program's calls that can fail";
    canonical = Comparable(machine());
    ExpectNothingLeft();
    return names;
  }
  // The machine as compared across runs, less the log window's text; the
  // running programs in an order of their own, as a restarted spooler comes
  // later by its id.
  static Json Comparable(const Machine& m) {
    Json j = Canonical(m);
    j["desktop"].erase("dialogs");
    std::vector<Json> running(j["processes"].begin(), j["processes"].end());
    std::sort(running.begin(), running.end(), [](const Json& a, const Json& b) { return a.dump() < b.dump(); });
    j["processes"] = running;
    return j;
  }
  bool ErrorLogShown(std::size_t dialogsBefore) {
    const auto& dialogs = machine().desktop.dialogs;
    if (dialogs.size() <= dialogsBefore) return false;
    const std::string title = winsim::Narrow(dialogs.back().title);
    return title.size() >= 10 && title.compare(title.size() - 10, 10, "error log!") == 0;
  }
};

TEST_F(FaultSweepTest, EveryCallFailingInTurnEndsOrderly) {
  std::map<const QuietOutcome*, int> met;
  std::printf("%-10s %6s %10s %6s %10s %10s %10s %13s\n", "run", "calls", "not failed", "runs", "error line",
              "unchanged", "other exit", "other machine");
  for (const Scenario& s : kScenarios) {
    SCOPED_TRACE(s.name);
    const std::unique_ptr<Machine> start = Start(s);
    Json clean;
    const std::vector<std::string> names = CleanRun(s, *start, clean);
    const std::uint64_t bound = WorstCaseMs(s.command);
    Tally tally;
    tally.calls = static_cast<int>(names.size());
    for (std::size_t n = 1; n <= names.size(); ++n) {
      const std::string& function = names[n - 1];
      const auto plausible = kPlausibleErrors.find(function);
      ASSERT_NE(plausible, kPlausibleErrors.end()) << function << " needs its errors in the table";
      if (plausible->second.empty()) ++tally.notFailed;
      for (const DWORD error : plausible->second) {
        SCOPED_TRACE("call " + std::to_string(n) + " " + function + " error " + std::to_string(error));
        ++tally.runs;
        winsim::SetCurrent(start->Copy());
        machine().FailCall(static_cast<DWORD>(n), error);
        const std::size_t dialogs = machine().desktop.dialogs.size();
        const std::uint64_t began = machine().clock.now;
        const int code = Run(s.command);
        EXPECT_FALSE(machine().anyCallFault) << "the same calls come before the one failed";
        EXPECT_LE(machine().clock.now - began, bound);
        if (function != "StartServiceW") {
          EXPECT_TRUE(winsim::SpoolerRunning(machine()));
        }
        ExpectNothingLeft();
        if (ErrorLogShown(dialogs)) {
          EXPECT_EQ(code, ExitErrorsLogged);
          ++tally.errorLine;
          continue;
        }
        const Json diff = Json::diff(clean, Comparable(machine()));
        if (code == s.cleanExit && diff.empty()) {
          ++tally.unchanged;
          continue;
        }
        ++(code != s.cleanExit ? tally.otherExit : tally.otherMachine);
        const QuietOutcome* quiet = nullptr;
        for (const QuietOutcome& row : kQuietOutcomes) {
          if (row.run == std::string(s.name) && row.function == function) quiet = &row;
        }
        if (quiet != nullptr) {
          ++met[quiet];
        } else {
          ADD_FAILURE() << "ended without an error line, exit " << code << ", machine: " << diff.dump().substr(0, 600);
        }
      }
    }
    std::printf("%-10s %6d %10d %6d %10d %10d %10d %13d\n", s.name, tally.calls, tally.notFailed, tally.runs,
                tally.errorLine, tally.unchanged, tally.otherExit, tally.otherMachine);
  }
  std::printf("without an error line, by design:\n");
  for (const QuietOutcome& row : kQuietOutcomes) {
    EXPECT_NE(met.count(&row), 0u) << row.run << ", " << row.function << " no longer ends so: " << row.why;
    std::printf("  %-10s %-20s %3d  %s\n", row.run, row.function, met[&row], row.why);
  }
}

}  // namespace
