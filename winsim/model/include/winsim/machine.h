// The simulated Windows machine: all state the Win32 calls of winsim act on.
// Tests and vexsim build a Machine, make it current, run installer code, and
// look at the machine afterwards. The API layer (winsim/win32/) is the only
// code that changes it on the installer's behalf.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <windows.h>

#include "desktop.h"
#include "files.h"
#include "kernel.h"
#include "registry.h"
#include "services.h"
#include "spooler.h"

namespace winsim {

// Case-insensitive key for paths, registry keys and the like (ASCII folding,
// as Windows' own upper-casing table agrees with it for the names we use).
std::u16string FoldCase(const std::u16string& text);
// FoldCase(a) == FoldCase(b), without building either.
bool SameFolded(const std::u16string& a, const std::u16string& b);
std::u16string Widen(const std::string& utf8);
std::string Narrow(const std::u16string& utf16);

// 2026-01-05 09:00:00 UTC, in seconds since 1970-01-01: a fixed start, so
// runs that read the date are reproducible.
constexpr std::int64_t kDefaultClockStart = 1767603600;

// Virtual milliseconds. Sleep advances it; events due by then are
// dispatched in time order as it passes them (Machine::Advance).
struct Clock {
  std::uint64_t now = 0;       // milliseconds since the machine started
  std::uint32_t tickBase = 0;  // GetTickCount() = tickBase + now (wraps)
  // The time zone as TIME_ZONE_INFORMATION.Bias has it: minutes, UTC = local + bias.
  std::int32_t timeZoneBias = 0;
  std::int64_t start = kDefaultClockStart;  // UTC when `now` was 0, seconds since 1970-01-01
  std::vector<Event> events;                // pending, in no particular order
};

// A moment as SYSTEMTIME spells it (proleptic Gregorian calendar).
struct CivilTime {
  int year = 1970, month = 1, day = 1, dayOfWeek = 4;  // dayOfWeek: 0 is Sunday
  int hour = 0, minute = 0, second = 0, millisecond = 0;
};
// Milliseconds since 1970-01-01 (negative before) as a date and time.
CivilTime CivilFromMilliseconds(std::int64_t ms);
// The date given; false when it is no date of the calendar.
bool MillisecondsFromCivil(const CivilTime& time, std::int64_t& ms);
// The clock's time now: UTC, and local (shifted by the time zone), in
// milliseconds since 1970-01-01.
std::int64_t UtcMilliseconds(const Clock& clock, std::uint64_t at);
std::int64_t LocalMilliseconds(const Clock& clock, std::uint64_t at);
// A moment of the clock as a FILETIME's count (100 ns since 1601-01-01 UTC).
std::uint64_t FileTimeOf(const Clock& clock, std::uint64_t at);

// A call told to fail: once `skip` of the calls it watches have gone
// through, the next `count` fail with `error`. They return `result` when
// given (for a function whose failure takes more than one form, e.g. a wait
// that ends WAIT_TIMEOUT rather than WAIT_FAILED), else the function's one
// failure value; the calls whose result is the error return the error.
struct Fault {
  DWORD error = 0;
  int count = 1;
  DWORD skip = 0;
  std::optional<std::int64_t> result;
};

// The installer process's heaps. Live blocks are real memory of this
// process, so they are not part of a saved machine.
struct Memory {
  std::map<void*, std::size_t> globalBlocks;            // live GlobalAlloc blocks
  std::map<void*, std::size_t> localBlocks;             // live LocalAlloc blocks
  std::map<DWORD, std::vector<char16_t>> commandLines;  // GetCommandLineW's text, per process
};

// What GetVersionExA reports. Windows 8.1 and later report 6.2 to a
// program whose manifest does not name them, as the installer's does not.
struct WindowsVersion {
  DWORD major = 6;
  DWORD minor = 2;
  DWORD build = 9200;
  DWORD platform = 2;  // VER_PLATFORM_WIN32_NT
};

struct Machine {
  Clock clock;
  DWORD lastError = 0;
  Memory memory;
  FileSystem files;
  Registry registry;
  Services services;
  Spooler spooler;
  Desktop desktop;
  WindowsVersion version;
  std::map<DWORD, Process> processes;  // by id; ended ones stay for their exit code
  DWORD nextProcessId = 0x100;
  DWORD caller = 0;  // the process whose calls the API serves
  HandleTable handles;
  std::map<std::u16string, Mutex> mutexes;  // named mutexes by name (case-sensitive)
  std::vector<ProgramProfile> programs;     // how the programs that may start behave
  std::u16string systemDirectory = u"C:\\Windows\\system32";
  // Faults by function name: each watches the calls of its function.
  std::map<std::string, Fault> faults;
  // The run-wide fault: it watches every call, whatever its function.
  std::optional<Fault> anyCallFault;
  // The calls programs made that can fail (those through an entry with a
  // fault check); a count of this session, not saved with the machine.
  std::uint64_t calls = 0;

  Machine();
  ~Machine();
  Machine& operator=(const Machine&) = delete;

  // The same machine with none of this one's heap blocks (they are real
  // memory of the program that took them): a starting point built once and
  // copied for each run.
  std::unique_ptr<Machine> Copy() const;

  // Arms a fault: the next `count` calls of `api` fail with `error`.
  void FailNext(const std::string& api, DWORD error, int count = 1);
  // Arms a fault on the `call`-th call of `api` from now (1 is the next),
  // and the `count` - 1 after it.
  void FailCallOf(const std::string& api, DWORD call, DWORD error, int count = 1);
  // Arms the run-wide fault: the `call`-th call that can fail from now on,
  // whatever its function, and the `count` - 1 after it.
  void FailCall(DWORD call, DWORD error, int count = 1);
  // Counts one call of `api` that can fail and lets the armed faults see
  // it; the fault that fails it (the run-wide one first), else nullopt.
  // The last error is then already set.
  std::optional<Fault> TakeFault(const char* api);

  Process& Caller() { return processes.at(caller); }
  Process* FindProcess(DWORD id);

  void Schedule(const Event& event) { clock.events.push_back(event); }
  // Moves the clock on by `ms`, dispatching the events that fall due.
  void Advance(std::uint64_t ms);
  // Moves the clock on until `done()` holds or `ms` have passed, whichever
  // is first; true when `done()` held. Waits use it.
  template <typename Done>
  bool AdvanceUntil(std::uint64_t ms, Done done);
  // Acts on one event; the one place where events take effect.
  void Dispatch(const Event& event);
  // The earliest pending event at or before `until`, if any.
  std::optional<std::uint64_t> NextEventTime(std::uint64_t until) const;

 private:
  Machine(const Machine&) = default;  // Copy(), which leaves the blocks behind
};

// The process that hosts everything on a fresh machine (pid 4).
constexpr DWORD kSystemProcess = 4;
// The module handle of the program under test, as WinMain receives it.
inline HINSTANCE ProgramInstance() { return reinterpret_cast<HINSTANCE>(0x140000000); }

// Starts a process of `kind` from `image`; returns its id. A Program comes
// up as its profile says, with its mutex and window.
DWORD StartProcess(Machine& machine, ProgramKind kind, const std::u16string& image,
                   const std::u16string& commandLine = std::u16string());
// Ends a process as Windows does: its windows go, the system closes its
// handles (an owned mutex is abandoned unless `released`), its file holds
// end. A simulated program that quits of its own accord releases its mutex.
void EndProcess(Machine& machine, DWORD id, DWORD exitCode, bool released = false);

// Closes one entry of the handle table, and lets go of what no handle
// names any more (a file or printer deleted while open, a mutex).
void CloseHandleEntry(Machine& machine, std::uint64_t value);

// Moves the spooler service into `state` (starting spoolsv.exe on RUNNING,
// ending it on STOPPED).
void EnterServiceState(Machine& machine, DWORD state);

// A restart of Windows: every process ends, Windows carries out
// "PendingFileRenameOperations", the services set to start automatically
// start, and the program under test is ready to run again.
void Restart(Machine& machine);

// The machine the Win32 calls act on. Tests replace it per test.
Machine& Current();
void SetCurrent(std::unique_ptr<Machine> machine);

// A fresh Windows x64: the system process, a running spooler with the
// local port monitor and its ports, C:\ProgramData, no product. Presets add the rest.
std::unique_ptr<Machine> NewMachine();

// Runs `body` as the code of the calling process, on a stack of its own,
// as Windows runs a program: when it calls ExitProcess, its stack is dropped
// as it stands (no destructor of the program runs) and the exit code comes
// back; when it returns, nullopt.
std::optional<UINT> RunAsProcess(const std::function<void()>& body);
// ExitProcess's way back to the host, after the process has ended.
[[noreturn]] void LeaveProcess(UINT code);

// Runs the program's WinMain as a new process of `image` on the current
// machine with `commandLine`; returns the exit code, also when the program
// ends through ExitProcess. Inline, so that winsim itself does not depend on
// the program it hosts.
inline int RunWinMain(const std::u16string& image, const std::u16string& commandLine) {
  Machine& machine = Current();
  machine.caller = StartProcess(machine, ProgramKind::Installer, image, commandLine);
  UINT code = 0;
  if (const auto exit = RunAsProcess(
          [&code] { code = static_cast<UINT>(WinMain(ProgramInstance(), nullptr, const_cast<LPSTR>(""), 1)); })) {
    code = *exit;
  }
  if (machine.Caller().running) EndProcess(machine, machine.caller, code);
  return static_cast<int>(code);
}

template <typename Done>
bool Machine::AdvanceUntil(std::uint64_t ms, Done done) {
  const std::uint64_t deadline = clock.now + ms;
  while (!done()) {
    const auto next = NextEventTime(deadline);
    if (!next) {
      clock.now = deadline;
      return done();
    }
    Advance(*next - clock.now);
  }
  return true;
}

}  // namespace winsim
