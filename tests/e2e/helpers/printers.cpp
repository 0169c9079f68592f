// printers.exe: sets up printers the way a user's machine has them, for the
// scenarios that run the installer over existing printers (spoolstate.exe
// reports them).
//
//   printers.exe add NAME PORT DRIVER [--comment C] [--location L]
//                    [--settings S] [--default] [--count N] [--no-datatype]
//       adds the printer with the RAW data type and a device mode (Wine can
//       open no printer without a data type, and would otherwise load the
//       driver's UI module), writes S as the printer data "SubKey", plain and
//       under "DsUser", and makes it the default printer; with --count, N
//       printers NAME-1 ... NAME-N; with --no-datatype, as the installer adds
//       one (Wine then half-makes it: listed, but it cannot be opened)
//   printers.exe add-driver NAME DRIVER UI HELP
//       registers the driver NAME from the three files, staged in the driver
//       directory as the installer stages them
//   printers.exe add-monitor NAME DLL
//       registers the port monitor NAME served by DLL, a module already in
//       the system directory (another vendor's monitor, with its own ports)
//
// Exit 0 when everything asked for worked; 1 with {"failed": ..., "error": N}
// naming the first call that did not.
#include <windows.h>
#include <shellapi.h>
#include <winspool.h>

#include <string>
#include <vector>

#include "helper_io.h"

namespace {

int Fail(const char* call, DWORD error) {
  WriteOut("{" + Field("failed", "\"" + std::string(call) + "\"") + ", " + Field("error", Number(error)) + "}\n");
  return 1;
}

int Add(int argc, LPWSTR* argv) {
  if (argc < 5) return Fail("arguments", ERROR_INVALID_PARAMETER);
  LPWSTR name = argv[2];
  LPWSTR comment = nullptr;
  LPWSTR location = nullptr;
  LPWSTR settings = nullptr;
  bool makeDefault = false;
  bool noDatatype = false;
  int count = 0;
  for (int i = 5; i < argc; ++i) {
    const std::wstring option = argv[i];
    if (option == L"--default") {
      makeDefault = true;
    } else if (option == L"--no-datatype") {
      noDatatype = true;
    } else if (i + 1 < argc && option == L"--count") {
      count = _wtoi(argv[++i]);
    } else if (i + 1 < argc && option == L"--comment") {
      comment = argv[++i];
    } else if (i + 1 < argc && option == L"--location") {
      location = argv[++i];
    } else if (i + 1 < argc && option == L"--settings") {
      settings = argv[++i];
    } else {
      return Fail("arguments", ERROR_INVALID_PARAMETER);
    }
  }
  DEVMODEW devMode = {};
  devMode.dmSize = sizeof(devMode);
  devMode.dmSpecVersion = DM_SPECVERSION;
  lstrcpynW(devMode.dmDeviceName, name, CCHDEVICENAME);
  PRINTER_INFO_2W info = {};
  info.pPrinterName = name;
  info.pPortName = argv[3];
  info.pDriverName = argv[4];
  info.pComment = comment;
  info.pLocation = location;
  info.pPrintProcessor = const_cast<LPWSTR>(L"winprint");
  info.pDatatype = const_cast<LPWSTR>(L"RAW");
  info.pDevMode = &devMode;
  info.Priority = 1;
  if (noDatatype) info.pDatatype = nullptr;
  for (int i = 1; i <= count; ++i) {
    const std::wstring numbered = std::wstring(name) + L"-" + std::to_wstring(i);
    info.pPrinterName = const_cast<LPWSTR>(numbered.c_str());
    HANDLE added = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
    if (added == nullptr) return Fail("AddPrinterW", GetLastError());
    ClosePrinter(added);
  }
  if (count > 0) return WriteOut("{" + Field("added", Number(count)) + "}\n"), 0;
  HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
  if (printer == nullptr && noDatatype) return WriteOut("{" + Field("half_made", Number(GetLastError())) + "}\n"), 0;
  if (printer == nullptr) return Fail("AddPrinterW", GetLastError());
  if (settings != nullptr) {
    const std::string text = Utf8(settings);  // the product writes ANSI; the scenarios use ASCII names
    const DWORD size = static_cast<DWORD>(text.size() + 1);
    LPBYTE data = reinterpret_cast<LPBYTE>(const_cast<char*>(text.c_str()));
    DWORD result = SetPrinterDataA(printer, const_cast<LPSTR>("SubKey"), REG_SZ, data, size);
    if (result != ERROR_SUCCESS) return ClosePrinter(printer), Fail("SetPrinterDataA", result);
    result = SetPrinterDataExA(printer, "DsUser", "SubKey", REG_SZ, data, size);
    if (result != ERROR_SUCCESS) return ClosePrinter(printer), Fail("SetPrinterDataExA", result);
  }
  ClosePrinter(printer);
  if (makeDefault && !SetDefaultPrinterW(name)) return Fail("SetDefaultPrinterW", GetLastError());
  WriteOut("{" + Field("added", Json(name)) + "}\n");
  return 0;
}

int AddDriver(int argc, LPWSTR* argv) {
  if (argc != 6) return Fail("arguments", ERROR_INVALID_PARAMETER);
  WCHAR directory[MAX_PATH] = {};
  DWORD needed = 0;
  if (!GetPrinterDriverDirectoryW(nullptr, const_cast<LPWSTR>(L"Windows x64"), 1, reinterpret_cast<LPBYTE>(directory),
                                  sizeof(directory), &needed)) {
    return Fail("GetPrinterDriverDirectoryW", GetLastError());
  }
  std::wstring staged[3];
  for (int i = 0; i < 3; ++i) {
    const std::wstring source = argv[3 + i];
    staged[i] = std::wstring(directory) + L"\\" + source.substr(source.find_last_of(L"\\/") + 1);
    if (!CopyFileW(source.c_str(), staged[i].c_str(), FALSE)) return Fail("CopyFileW", GetLastError());
  }
  DRIVER_INFO_6W info = {};
  info.cVersion = 3;
  info.pName = argv[2];
  info.pEnvironment = const_cast<LPWSTR>(L"Windows x64");
  info.pDriverPath = &staged[0][0];
  info.pDataFile = &staged[0][0];
  info.pConfigFile = &staged[1][0];
  info.pHelpFile = &staged[2][0];
  const BOOL added = AddPrinterDriverExW(nullptr, 6, reinterpret_cast<LPBYTE>(&info), APD_COPY_ALL_FILES);
  const DWORD error = GetLastError();
  for (const std::wstring& path : staged) DeleteFileW(path.c_str());
  if (!added) return Fail("AddPrinterDriverExW", error);
  WriteOut("{" + Field("added_driver", Json(argv[2])) + "}\n");
  return 0;
}

int RegisterMonitor(int argc, LPWSTR* argv) {
  if (argc != 4) return Fail("arguments", ERROR_INVALID_PARAMETER);
  MONITOR_INFO_2W info = {};
  info.pName = argv[2];
  info.pEnvironment = const_cast<LPWSTR>(L"Windows x64");
  info.pDLLName = argv[3];
  if (!AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&info))) return Fail("AddMonitorW", GetLastError());
  WriteOut("{" + Field("added_monitor", Json(argv[2])) + "}\n");
  return 0;
}

}  // namespace

int main() {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv == nullptr || argc < 2) return Fail("arguments", ERROR_INVALID_PARAMETER);
  const std::wstring command = argv[1];
  if (command == L"add") return Add(argc, argv);
  if (command == L"add-driver") return AddDriver(argc, argv);
  if (command == L"add-monitor") return RegisterMonitor(argc, argv);
  return Fail("arguments", ERROR_INVALID_PARAMETER);
}
