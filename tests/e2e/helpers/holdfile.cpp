// holdfile.exe PATH [SECONDS]: opens PATH the way a program that has the file
// in use does (others may read and write it, but not delete or rename it),
// prints "holding", and keeps it open until stdin is closed or SECONDS
// (default 120) have passed.
#include <windows.h>
#include <shellapi.h>

#include "helper_io.h"

int main() {
  int count = 0;
  LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
  if (args == nullptr || count < 2) {
    WriteOut("usage: holdfile PATH [SECONDS]\n");
    return 2;
  }
  const DWORD seconds = count > 2 ? static_cast<DWORD>(ParseNumber(args[2])) : 120;
  HANDLE file = CreateFileW(args[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    WriteOut("error " + Number(GetLastError()) + "\n");
    return 1;
  }
  WriteOut("holding\n");
  WaitForSingleObject(StdinClosedEvent(), seconds * 1000);
  CloseHandle(file);
  WriteOut("released\n");
  return 0;
}
