// ready.exe: the session of a prefix whose wineserver has just started. It is
// the first program, so Wine's own processes start under it and not under a
// scenario's programs (they inherit the stderr of the program that starts
// them). Before main, Wine has booted the prefix: wineboot, the service
// manager and its automatic services. This checks that the service manager
// says so, brings up the desktop window (explorer.exe), prints "ready" and
// stays on the desktop until stdin is closed: Wine closes the desktop a
// second after its last program ends, and a program that comes just then can
// find no desktop process. Prints what is missing instead, with exit 1.
#include <windows.h>

#include "helper_io.h"

int main() {
  // Wine's service manager sets this once its automatic services have started.
  HANDLE started = OpenEventW(SYNCHRONIZE, FALSE, L"__wine_SvcctlStarted");
  if (started == nullptr || WaitForSingleObject(started, 0) != WAIT_OBJECT_0) {
    WriteOut("service manager not started (" + Number(GetLastError()) + ")\n");
    return 1;
  }
  // Without explorer.exe (it did not start within 10 s) the desktop has no process.
  DWORD owner = 0;
  GetWindowThreadProcessId(GetDesktopWindow(), &owner);
  if (owner == 0 || owner == GetCurrentProcessId()) {
    WriteOut("no desktop process\n");
    return 1;
  }
  WriteOut("ready\n");
  WaitForSingleObject(StdinClosedEvent(), INFINITE);
  return 0;
}
