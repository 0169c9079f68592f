// The cases on Windows or under Wine: one process, one prefix; the work
// directory is emptied before each case, and the spooler is running at its
// start, as on a fresh winsim machine (a fresh Wine prefix has it stopped).
#include <windows.h>

#include <string>

#include "conformance.h"
#include "machine_setup.h"
#include "spooler_fixture.h"

namespace conformance {

bool OnWine() {
  static const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  return wine;
}

const WCHAR* WorkDirectory() { return L"C:\\conformance"; }

namespace {

void StartSpooler() {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE spooler = manager ? OpenServiceW(manager, L"spooler", SERVICE_QUERY_STATUS | SERVICE_START) : nullptr;
  if (spooler == nullptr) return;
  StartServiceW(spooler, 0, nullptr);  // Wine starts it within milliseconds, Windows within seconds
  SERVICE_STATUS status{};
  for (int i = 0; i < 1000 && QueryServiceStatus(spooler, &status) && status.dwCurrentState != SERVICE_RUNNING; ++i)
    Sleep(10);
  CloseServiceHandle(spooler);
  CloseServiceHandle(manager);
}

}  // namespace

void PrepareMachine() {
  StartSpooler();
  CreateDirectoryW(WorkDirectory(), nullptr);
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(L"C:\\conformance\\*", &found);
  for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found)) {
    const std::wstring path = std::wstring(L"C:\\conformance\\") + found.cFileName;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());  // refuses directories
  }
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
}

// The fixture monitor the win64 build makes, product\bin\vexmon64.dll beside
// this program.
bool InstallMonitorModule(const WCHAR* fileName) {
  WCHAR self[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring source(self, length);
  source = source.substr(0, source.find_last_of(L'\\') + 1) + L"product\\bin\\vexmon64.dll";
  WCHAR system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  return CopyFileW(source.c_str(), (std::wstring(system) + L"\\" + fileName).c_str(), FALSE) != FALSE;
}

DWORD RegisterMonitorFromAnotherProgram(const WCHAR* name, const WCHAR* dll) {
  PROCESS_INFORMATION child{};
  if (!StartSelf(std::string(kAddMonitorArgument) + " \"" + Narrow(name) + "\" \"" + Narrow(dll) + "\"", child))
    return GetLastError();
  DWORD code = ERROR_TIMEOUT;
  if (WaitForSingleObject(child.hProcess, 30000) == WAIT_OBJECT_0) GetExitCodeProcess(child.hProcess, &code);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  return code;
}

}  // namespace conformance
