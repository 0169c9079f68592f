// The longest each command of the installer can take on the virtual clock,
// made of its waits at their longest (the README's table of worst cases).
#pragma once
#include <cstdint>
#include <string>

// The installer's waits, each at its longest. A command's worst case is a
// count of each; these are the only figures the bounds are made of.
enum Wait { HelpWindow, SpoolerStart, TrayShutdown, SpoolerRestart, LockedCopy, MonitorRegistration, kWaitKinds };
inline constexpr std::uint64_t kWaitMs[kWaitKinds] = {
    100 * 50,          // the help window asked to close 100 times, 50 ms apart
    50 * 200,          // a start polled 50 times, 200 ms apart
    21 * 5000 + 1000,  // the tray program asked to quit 20 times, 5 s each, once more; 1 s without its Run value
    2 * 50 * 200,      // a stop and then a start, each polled so
    100 * 50,          // a locked destination tried 100 times, 50 ms apart
    4 * 50,            // the monitor registered in 5 tries, 50 ms apart
};

// How many of each wait a command's worst case holds. install: the help
// window, the spooler's start, the tray program, restarts for the driver's
// and the monitor's removal, for the old module, for the monitor's copy and
// for the staged driver files, two copies of the monitor and three of the
// driver's files, the monitor's registration.
struct CommandWaits {
  const char16_t* command;
  int waits[kWaitKinds];
};
inline constexpr CommandWaits kCommandWaits[] = {
    {u"install", {1, 1, 1, 5, 5, 1}}, {u"in_notray", {1, 1, 1, 5, 5, 1}},  {u"uninstall", {1, 1, 1, 3, 0, 0}},
    {u"onInit", {0, 0, 0, 2, 0, 0}},  {u"removetray", {0, 0, 1, 0, 0, 0}},
};

// A command word not in the table waits for nothing.
inline std::uint64_t WorstCaseMs(const std::u16string& command) {
  std::uint64_t bound = 0;
  for (const CommandWaits& entry : kCommandWaits) {
    if (command != entry.command) continue;
    for (int wait = 0; wait < kWaitKinds; ++wait)
      bound += static_cast<std::uint64_t>(entry.waits[wait]) * kWaitMs[wait];
  }
  return bound;
}
