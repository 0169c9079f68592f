// Kernel objects of the simulated machine: processes, the one handle table
// every kind of handle lives in, named mutexes, and the events the clock
// dispatches. All plain data, so a machine can be saved and loaded.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <windows.h>

namespace winsim {

// What a process is to the machine.
enum class ProgramKind {
  Program,    // a program started on the machine; its ProgramProfile says how it behaves
  System,     // the kernel's own process: holds files for "another process", ends only at restart
  Installer,  // the program under test: its calls are the Win32 calls winsim serves
  Spooler,    // spoolsv.exe: runs while the spooler service runs, has the monitors loaded
};

// How a program started on the machine behaves, chosen by its file name
// when it starts. Presets describe the programs a machine has.
struct ProgramProfile {
  std::u16string fileName;     // compared without regard to case
  std::u16string mutexName;    // a named mutex it owns while it runs; empty: none
  std::u16string windowClass;  // its top-level window; empty: none
  std::u16string windowTitle;
  UINT quitMessage = 0;      // posted to its window, it quits; 0: none beyond closing its last window
  DWORD quitDelayMs = 0;     // time from a quit message or close command to its end
  bool deaf = false;         // acts on no message
  bool windowless = false;   // never shows its window
  bool neverCloses = false;  // WM_CLOSE and SC_CLOSE leave its window open
};

struct Process {
  DWORD id = 0;
  ProgramKind kind = ProgramKind::Program;
  std::u16string image;  // full path of the program file
  std::u16string commandLine;
  bool running = true;
  DWORD exitCode = 259;  // STILL_ACTIVE while it runs
  // How it answers messages (from its ProgramProfile).
  UINT quitMessage = 0;
  DWORD quitDelayMs = 0;
  bool deaf = false;
  bool neverCloses = false;
  // The handles the system closed when the process ended: what the program
  // itself left open.
  std::size_t handlesLeftOpen = 0;
};

// Process and thread ids share one space; each process has one thread, whose
// id follows the process's own.
inline DWORD MainThreadId(DWORD process) { return process + 4; }

enum class HandleKind { File, Key, ServiceManager, Service, Mutex, Process, Thread, Printer, Find };

// One open handle. Which fields mean something depends on the kind.
struct Handle {
  HandleKind kind = HandleKind::File;
  DWORD process = 0;           // the process that holds the handle
  std::u16string object;       // File: FoldCase(path); Key: FoldCase(key path); Service: service name;
                               // Mutex: mutex name; Printer: printer name (empty: the print server);
                               // Find: FoldCase(directory), "\", the pattern, "\", the last name given (folded)
  DWORD target = 0;            // Process, Thread: the process id; Printer: the spooler process it was opened in
  DWORD access = 0;            // the rights granted
  DWORD share = 0;             // File: FILE_SHARE_* asked for
  std::uint64_t position = 0;  // File: the file pointer
};

struct HandleTable {
  std::map<std::uint64_t, Handle> entries;  // by handle value
  std::uint64_t next = 0x104;               // values are never reused, so a stale handle stays invalid

  std::uint64_t Add(const Handle& handle);
  // The handle when `value` is open in `process` and of `kind`; else null.
  Handle* Find(std::uint64_t value, HandleKind kind, DWORD process);
  std::size_t CountOf(DWORD process) const;
};

template <typename T>
std::uint64_t HandleValue(T handle) {
  return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(handle));
}
template <typename T>
T AsHandle(std::uint64_t value) {
  return reinterpret_cast<T>(static_cast<std::uintptr_t>(value));
}

// A mutex, named or not (an unnamed one is keyed by a name no program can
// give, see UnnamedMutexKey). It exists while a handle names it.
struct Mutex {
  DWORD owner = 0;         // the owning process; 0 when free
  DWORD recursion = 0;     // waits satisfied for the owner
  bool abandoned = false;  // its owner ended without releasing it; the next wait reports it
};

enum class EventKind {
  ServiceState,  // the spooler service reaches `value`, if `stamp` is still its transition
  HoldEnds,      // the file hold `object` ends
  ProcessQuits,  // the process `object` ends with exit code `value`
  WindowCloses,  // the window `object` is destroyed
};

// Something that happens at a time on the virtual clock.
struct Event {
  std::uint64_t at = 0;
  EventKind kind = EventKind::HoldEnds;
  std::uint64_t object = 0;
  DWORD value = 0;
  std::uint64_t stamp = 0;
};

}  // namespace winsim
