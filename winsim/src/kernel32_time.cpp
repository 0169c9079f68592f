// kernel32: time on the machine's virtual clock.
#include <windows.h>

#include "api.h"

using namespace winsim;

void WINAPI Sleep(DWORD dwMilliseconds) {
  if (CallerRuns()) M().Advance(dwMilliseconds);
}

DWORD WINAPI GetTickCount() {
  const Clock& clock = M().clock;
  return static_cast<DWORD>(clock.tickBase + clock.now);
}
