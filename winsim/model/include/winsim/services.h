// The service control manager's services on the simulated machine.
#pragma once
#include <cstdint>
#include <string>

#include <windows.h>
#include <winsvc.h>

namespace winsim {

// The "spooler" service: its state and how it behaves when told to stop or
// start. A fresh machine has a running spooler that stops and starts at once.
// A test sets `state` directly for a spooler found stopped or paused;
// nothing on the machine continues a paused spooler.
struct Service {
  std::u16string name = u"Spooler";
  std::u16string image = u"C:\\Windows\\System32\\spoolsv.exe";
  DWORD state = SERVICE_RUNNING;
  bool autoStart = true;                       // started by a restart of the machine
  DWORD stopMs = 0;                            // how long a stop stays STOP_PENDING
  DWORD startMs = 0;                           // how long a start stays START_PENDING
  DWORD stopRefusal = 0;                       // not 0: every stop control fails with this code
  bool startNeverCompletes = false;            // a start stays START_PENDING for ever
  DWORD openError = 0;                         // not 0: OpenServiceW fails with this code
  DWORD grantableRights = SERVICE_ALL_ACCESS;  // more than this: OpenServiceW gives 5
  int stopsAccepted = 0;                       // stop controls that began a stop
  int startsAccepted = 0;                      // StartServiceW calls that began a start
  std::uint64_t transition = 0;                // bumped per state change; stale completions compare it
  DWORD process = 0;                           // spoolsv.exe's process while the service runs
};

struct Services {
  DWORD managerOpenError = 0;  // not 0: OpenSCManagerW fails with this code
  Service spooler;
};

}  // namespace winsim
