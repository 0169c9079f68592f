#include "spooler/spooler_service.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "shell/out_of_memory.h"
#include "test_support.h"

namespace {

using Lines = std::vector<std::string>;
constexpr DWORD kStopped = SERVICE_STOPPED;
constexpr DWORD kRunning = SERVICE_RUNNING;

class SpoolerServiceTest : public ContextTest {
 protected:
  winsim::Service& spooler() { return machine().services.spooler; }
  std::uint64_t now() { return machine().clock.now; }
  std::size_t openHandles() { return machine().handles.CountOf(machine().caller); }
  // Any StartServiceW call, even one a running spooler refuses, uses up
  // this fault.
  void TripOnStart() { machine().FailNext("StartServiceW", ERROR_INVALID_FUNCTION); }
  bool StartWasRequested() { return machine().faults.count("StartServiceW") == 0; }
  // Another program asks the spooler to stop.
  void StopTheSpooler() {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = OpenServiceW(manager, TEXT("Spooler"), SERVICE_STOP);
    SERVICE_STATUS status{};
    EXPECT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
  }
  void RestartAndFinish(InstallContext* log) {
    SpoolerRestart restart{};
    RestartSpooler(restart, log);
    FinishSpoolerRestart(restart);
  }
};

// Every state but running gets a start and up to ten seconds of waiting.
TEST_F(SpoolerServiceTest, CheckStartsASpoolerFoundInAnyStateButRunning) {
  struct Case {
    DWORD state, startMs;
    bool startNeverCompletes, result;
    std::uint64_t waited;
    DWORD stateAfter;
    Lines lines;
  };
  const std::string notStarted = "  Error(4): Can't start the spooler";
  const std::string refused = notStarted + " - (An instance of the service is already running.)";
  const Case cases[] = {
      {SERVICE_RUNNING, 0, false, true, 0, kRunning, {">Check Spooler"}},
      {SERVICE_STOPPED, 0, false, true, 0, kRunning, {">Check Spooler"}},
      {SERVICE_STOPPED, 300, false, true, 400, kRunning, {">Check Spooler"}},
      // OpenSCManagerW cleared the last error and nothing failed since.
      {SERVICE_STOPPED, 0, true, false, 10000, SERVICE_START_PENDING, {">Check Spooler", notStarted}},
      {SERVICE_START_PENDING, 0, false, false, 10000, SERVICE_START_PENDING, {">Check Spooler", refused}},
      // Nothing continues a paused spooler: its start is refused.
      {SERVICE_PAUSED, 0, false, false, 10000, SERVICE_PAUSED, {">Check Spooler", refused}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "state " << c.state << ", start " << c.startMs << " ms");
    FreshRun();
    winsim::EnterServiceState(machine(), c.state);
    spooler().startMs = c.startMs;
    spooler().startNeverCompletes = c.startNeverCompletes;
    if (c.state == SERVICE_RUNNING) TripOnStart();

    EXPECT_EQ(CheckSpooler(context), c.result);
    EXPECT_EQ(LogLines(context), c.lines);
    EXPECT_EQ(context.ErrorCount, c.result ? 0 : 1);
    EXPECT_EQ(context.LogDepth, 0);
    EXPECT_EQ(now(), c.waited);
    EXPECT_EQ(spooler().state, c.stateAfter);
    EXPECT_EQ(StartWasRequested(), c.state != SERVICE_RUNNING);
  }
}

// A start sent while the spooler is still stopping is refused; it is sent
// again once a poll finds the spooler stopped, within the same ten seconds.
TEST_F(SpoolerServiceTest, AStartRefusedWhileStoppingIsSentAgainOnceStopped) {
  struct Case {
    bool restart;  // a restart's stop, else a check that finds the spooler stopping
    DWORD stopMs;
    DWORD stateAfter;
    std::uint64_t waited;
    Lines lines;
  };
  const std::string cantStop = "Error(3): Can't stop the spooler";
  const std::string cantStart = "Error(4): Can't start the spooler - (An instance of the service is already running.)";
  const Case cases[] = {
      {false, 3000, kRunning, 3200, {">Check Spooler"}},
      {true, 12000, kRunning, 12200, {">Restart Spooler", cantStop}},
      // Slower than both waits: the start is still refused at the end.
      {true, 25000, SERVICE_STOP_PENDING, 20000, {">Restart Spooler", cantStop, cantStart}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.restart ? "restart" : "check") << ", stop " << c.stopMs << " ms");
    FreshRun();
    spooler().stopMs = c.stopMs;
    if (c.restart) {
      RestartAndFinish(&context);
    } else {
      StopTheSpooler();
      EXPECT_TRUE(CheckSpooler(context));
    }
    EXPECT_EQ(LogLines(context), c.lines);
    EXPECT_EQ(spooler().state, c.stateAfter);
    EXPECT_EQ(now(), c.waited);
  }
}

TEST_F(SpoolerServiceTest, CheckLeavesTheSpoolerAloneWhenItsStatusCannotBeRead) {
  winsim::EnterServiceState(machine(), SERVICE_STOPPED);
  machine().FailNext("QueryServiceStatus", ERROR_ACCESS_DENIED);
  TripOnStart();
  EXPECT_TRUE(CheckSpooler(context));
  EXPECT_EQ(LogLines(context), Lines{">Check Spooler"});
  EXPECT_FALSE(StartWasRequested());
  EXPECT_EQ(spooler().state, kStopped);
}

TEST_F(SpoolerServiceTest, ManagerOrSpoolerThatCannotBeOpenedIsErrorOneOrTwo) {
  machine().services.managerOpenError = ERROR_ACCESS_DENIED;
  EXPECT_FALSE(CheckSpooler(context));
  RestartAndFinish(&context);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED}) << "finishing closed a null manager handle";
  RestartAndFinish(nullptr);
  machine().services.managerOpenError = 0;
  spooler().openError = ERROR_SERVICE_DOES_NOT_EXIST;
  EXPECT_FALSE(CheckSpooler(context));
  RestartAndFinish(&context);
  RestartAndFinish(nullptr);

  const std::string denied = " - (Access is denied.)";
  const std::string missing = " - (The specified service does not exist as an installed service.)";
  EXPECT_EQ(LogLines(context), (Lines{">Check Spooler", "  Error(1): Can't open service manager." + denied,
                                      ">Restart Spooler", "Error(1): Can't open service manager." + denied,
                                      ">Check Spooler", "  Error(2): Can't open the spooler" + missing,
                                      ">Restart Spooler", "Error(2): Can't open the spooler" + missing}));
  EXPECT_EQ(context.ErrorCount, 4);
  EXPECT_EQ(context.LogDepth, 0);
  EXPECT_EQ(spooler().stopsAccepted + spooler().startsAccepted, 0);
}

// An account that may query and start the spooler but not stop it: the
// check asks for no more than it needs, the restart is refused.
TEST_F(SpoolerServiceTest, CheckAsksOnlyForQueryAndStartRights) {
  spooler().grantableRights = SERVICE_QUERY_STATUS | SERVICE_START;
  winsim::EnterServiceState(machine(), SERVICE_STOPPED);
  EXPECT_TRUE(CheckSpooler(context));
  EXPECT_EQ(spooler().state, kRunning);
  RestartAndFinish(&context);
  EXPECT_EQ(LogLines(context),
            (Lines{">Check Spooler", ">Restart Spooler", "Error(2): Can't open the spooler - (Access is denied.)"}));
}

TEST_F(SpoolerServiceTest, EnsureRunningWithoutAServiceFailsWithoutWaiting) {
  EXPECT_FALSE(EnsureServiceRunning(nullptr));
  EXPECT_EQ(now(), 0u);
}

TEST_F(SpoolerServiceTest, RestartStopsTheSpoolerAndFinishStartsItAgain) {
  spooler().stopMs = 400;
  spooler().startMs = 500;
  context.LogDepth = 2;

  SpoolerRestart restart{};
  RestartSpooler(restart, &context);
  EXPECT_EQ(spooler().state, kStopped);
  EXPECT_EQ(now(), 400u);
  EXPECT_EQ(restart.StopRequested, 1);
  EXPECT_EQ(openHandles(), 2u);

  FinishSpoolerRestart(restart);
  EXPECT_EQ(spooler().state, kRunning);
  EXPECT_EQ(now(), 1000u);  // a 500 ms start polled every 200 ms
  EXPECT_EQ(LogLines(context), Lines{"    >Restart Spooler"});
  EXPECT_EQ(context.LogDepth, 2);

  // A second finish finds nothing left to start or close.
  SetLastError(kPoisonError);
  FinishSpoolerRestart(restart);
  EXPECT_EQ(GetLastError(), kPoisonError) << "a handle was closed twice";
  EXPECT_EQ(spooler().startsAccepted, 1);
}

// Finishing always takes the start path: a stop that was refused or came
// too late finds the spooler running again.
TEST_F(SpoolerServiceTest, RestartReportsEachWayTheStopOrStartFails) {
  const std::string inUse = "(The service cannot accept control messages at this time.)";
  struct Case {
    const char* what;
    std::function<void()> arrange;
    std::uint64_t waited;
    Lines lines;  // after ">Restart Spooler"
    int stops, starts;
    DWORD state;
  };
  // clang-format off
  const Case cases[] = {
      // The stop wait ends at the first query.
      {"already stopped", [&] { winsim::EnterServiceState(machine(), SERVICE_STOPPED); }, 0, {}, 0, 1, kRunning},
      {"stop refused", [&] { spooler().stopRefusal = ERROR_ACCESS_DENIED; }, 10000,
       {"Error(5): ControlService failed with code 5 (0x5) - (Access is denied.)",
        "Error(3): Can't stop the spooler - (Access is denied.)"}, 0, 0, kRunning},
      // Already stopping: the wait ends when it stops.
      {"already stopping", [&] { spooler().stopMs = 900; StopTheSpooler(); }, 1000,
       {"Error(5): ControlService failed with code 1061 (0x425) - " + inUse}, 1, 1, kRunning},
      {"never starts again", [&] { spooler().startNeverCompletes = true; }, 10000,
       {"Error(4): Can't start the spooler"}, 1, 1, SERVICE_START_PENDING},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FreshRun();
    c.arrange();
    RestartAndFinish(&context);
    Lines expected = {">Restart Spooler"};
    expected.insert(expected.end(), c.lines.begin(), c.lines.end());
    EXPECT_EQ(LogLines(context), expected);
    EXPECT_EQ(context.ErrorCount, static_cast<LONG>(c.lines.size()));
    EXPECT_EQ(now(), c.waited);
    EXPECT_EQ(spooler().stopsAccepted, c.stops);
    EXPECT_EQ(spooler().startsAccepted, c.starts);
    EXPECT_EQ(spooler().state, c.state);
    // With no context the same path stays silent and waits as long.
    FreshRun();
    c.arrange();
    RestartAndFinish(nullptr);
    EXPECT_EQ(now(), c.waited);
  }
}

TEST_F(SpoolerServiceTest, RestartScopeKeepsTheSpoolerStoppedUntilItsEnd) {
  auto work = [&](bool leaveEarly) {
    SpoolerRestartScope stopped(&context);
    EXPECT_EQ(spooler().state, kStopped);
    if (leaveEarly) return;
    EXPECT_EQ(openHandles(), 2u);
  };
  work(true);
  work(false);
  EXPECT_EQ(spooler().state, kRunning);
  EXPECT_EQ(spooler().stopsAccepted, 2);
  EXPECT_EQ(spooler().startsAccepted, 2);
}

// Windows drops an ended process's stack as it stands: the scope's end
// never runs, so the spooler stays stopped, and the system closes the
// process's service handles.
TEST_F(SpoolerServiceTest, ARunEndedInsideTheRestartScopeLeavesTheSpoolerStopped) {
  const auto exit = RunCode([&] {
    SpoolerRestartScope stopped(&context);
    EndRunOutOfMemory();
  });
  EXPECT_EQ(exit, std::optional<UINT>(ExitCodeOutOfMemory));
  EXPECT_EQ(spooler().state, kStopped);
  EXPECT_EQ(machine().Caller().handlesLeftOpen, 2u);
  machine().Caller().handlesLeftOpen = 0;  // closed by the system, as expected here
}

// ---- the simulated service control manager ----

TEST_F(SpoolerServiceTest, AnyServiceCallCanBeMadeToFail) {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service = OpenServiceW(manager, TEXT("spooler"), SERVICE_ALL_ACCESS);
  SERVICE_STATUS status{};
  const std::vector<std::pair<const char*, std::function<bool()>>> calls = {
      {"OpenSCManagerW", [&] { return OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT) != nullptr; }},
      {"OpenServiceW", [&] { return OpenServiceW(manager, TEXT("spooler"), SERVICE_START) != nullptr; }},
      {"ControlService", [&] { return ControlService(service, SERVICE_CONTROL_STOP, &status) != FALSE; }},
      {"QueryServiceStatus", [&] { return QueryServiceStatus(service, &status) != FALSE; }},
      {"StartServiceW", [&] { return StartServiceW(service, 0, nullptr) != FALSE; }},
      {"CloseServiceHandle", [&] { return CloseServiceHandle(service) != FALSE; }},
  };
  for (const auto& call : calls) {
    SCOPED_TRACE(call.first);
    machine().FailNext(call.first, 1234);
    EXPECT_FALSE(call.second());
    EXPECT_EQ(GetLastError(), 1234u);
  }
  EXPECT_EQ(spooler().state, kRunning) << "a failed stop changed the service";
  EXPECT_EQ(openHandles(), 2u);
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
}

}  // namespace
