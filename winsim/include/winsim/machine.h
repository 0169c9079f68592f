// The simulated Windows machine: all state the Win32 calls of winsim act on.
// Tests and vexsim build a Machine, make it current, run installer code, and
// look at the machine afterwards. The API layer (winsim/src/*.cpp) is the only
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
#include "registry.h"
#include "services.h"
#include "spooler.h"

namespace winsim {

// Case-insensitive key for paths, registry keys and the like (ASCII folding,
// as Windows' own upper-casing table agrees with it for the names we use).
std::u16string FoldCase(const std::u16string& text);
std::u16string Widen(const std::string& utf8);
std::string Narrow(const std::u16string& utf16);

// Virtual milliseconds. Sleep advances it; events scheduled for a time fire
// in time order as the clock passes it.
struct Clock {
  std::uint64_t now = 0;       // milliseconds since the machine started
  std::uint32_t tickBase = 0;  // GetTickCount() = tickBase + now (wraps)
  struct Event {
    std::uint64_t at;
    std::function<void()> action;
  };
  std::vector<Event> events;

  void Schedule(std::uint64_t at, std::function<void()> action);
  void Advance(std::uint64_t ms);
};

// A call told to fail: the next `count` calls of `api` fail with `error`.
struct Fault {
  DWORD error = 0;
  int count = 0;
};

struct Memory {
  std::map<void*, std::size_t> globalBlocks;  // live GlobalAlloc blocks
  std::map<void*, std::size_t> localBlocks;   // live LocalAlloc blocks
};

struct Process {
  std::u16string commandLine;
  std::u16string modulePath;
  HINSTANCE instance = reinterpret_cast<HINSTANCE>(0x140000000);
  std::vector<std::u16string> commandLineStorage;  // keeps GetCommandLineW's text alive
};

// Raised by ExitProcess so that a test or vexsim regains control.
struct ProcessExit {
  UINT code;
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
  Process process;
  std::u16string systemDirectory = u"C:\\Windows\\system32";
  std::map<std::string, Fault> faults;

  ~Machine();

  // Arms a fault: the next `count` calls of `api` fail with `error`.
  void FailNext(const std::string& api, DWORD error, int count = 1);
  // Consumes one armed fault of `api`; true when the call must fail (the
  // last error is then already set).
  bool TakeFault(const char* api);
};

// The machine the Win32 calls act on. Tests replace it per test.
Machine& Current();
void SetCurrent(std::unique_ptr<Machine> machine);

// A fresh Windows x64 with the product's files in
// "C:\Program Files\Ravelquill\bin\" and the tray program beside bin\.
std::unique_ptr<Machine> DefaultMachine();

// Runs the program's WinMain on the current machine with `commandLine`;
// returns the exit code, also when the program ends through ExitProcess.
// Inline, so that winsim itself does not depend on the program it hosts.
inline int RunWinMain(const std::u16string& commandLine) {
  Machine& machine = Current();
  machine.process.commandLine = commandLine;
  try {
    return WinMain(machine.process.instance, nullptr, const_cast<LPSTR>(""), 1);
  } catch (const ProcessExit& exit) {
    return static_cast<int>(exit.code);
  }
}

}  // namespace winsim
