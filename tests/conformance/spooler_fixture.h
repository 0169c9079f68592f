// What the spooler cases share: a driver staged from dummy files and
// printers on existing ports, each deleted again at its end.
#pragma once
#include <windows.h>
#include <winspool.h>

#include <string>
#include <vector>

#include "conformance.h"

namespace conformance {

using Text = std::basic_string<WCHAR>;
inline WCHAR kX64[] = TEXT("Windows x64");
inline LPWSTR W(const WCHAR* text) { return const_cast<LPWSTR>(text); }

// Places the port monitor module (its port is "Ravelquill:") in the system
// directory as `fileName`; false when the build has none.
bool InstallMonitorModule(const WCHAR* fileName);

inline BOOL RegisterMonitor(const WCHAR* name, const WCHAR* dll, DWORD level = 2) {
  MONITOR_INFO_2W info = {W(name), kX64, W(dll)};
  return AddMonitorW(nullptr, level, reinterpret_cast<LPBYTE>(&info));
}

// Registers the monitor from another run of this program (started with
// kAddMonitorArgument), which has ended when this returns: 0, or the error
// AddMonitorW gave there.
constexpr char kAddMonitorArgument[] = "--add-monitor";
DWORD RegisterMonitorFromAnotherProgram(const WCHAR* name, const WCHAR* dll);

inline bool Exists(const Text& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
// The spooler compares names without regard to ASCII case.
inline bool SameName(const WCHAR* a, const Text& b) { return a != nullptr && SameText(a, b.c_str(), true); }

// Where AddPrinterDriverExW takes a driver's files from; its "3" directory
// is the store they are copied to.
inline Text DriverDirectory() {
  WCHAR directory[MAX_PATH] = {};
  DWORD needed = 0;
  GetPrinterDriverDirectoryW(nullptr, kX64, 1, reinterpret_cast<LPBYTE>(directory), sizeof(directory), &needed);
  return directory;
}

// The driver `name`, its three files staged as dummies named after `stem`.
struct Driver {
  Text files[3];  // driver, data, configuration
  DRIVER_INFO_6W info{};
  Driver(const WCHAR* name, const Text& stem) {
    const Text staged = DriverDirectory() + TEXT("\\") + stem;
    files[0] = staged + TEXT(".dll"), files[1] = staged + TEXT(".gpd"), files[2] = staged + TEXT("ui.dll");
    for (const Text& path : files) {
      HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
      DWORD written = 0;
      WriteFile(file, "dummy", 5, &written, nullptr);
      CloseHandle(file);
    }
    info.cVersion = 3, info.pName = W(name), info.pEnvironment = kX64;
    info.pDriverPath = &files[0][0], info.pDataFile = &files[1][0], info.pConfigFile = &files[2][0];
  }
  BOOL Add() { return AddPrinterDriverExW(nullptr, 6, reinterpret_cast<LPBYTE>(&info), APD_COPY_ALL_FILES); }
  ~Driver() {  // without a flag: Wine takes none
    for (const Text& path : files) DeleteFileW(path.c_str());
    DeletePrinterDriverExW(nullptr, kX64, info.pName, 0, 0);
  }
};

// A printer with a device mode, so that Wine need not load the driver's user
// interface; deleted through the handle Add() keeps.
struct Printer {
  PRINTER_INFO_2W info{};
  DEVMODEW devMode{};
  HANDLE handle = nullptr;
  Printer(const WCHAR* name, const WCHAR* port, const WCHAR* driver, const WCHAR* dataType = TEXT("RAW")) {
    devMode.dmSize = sizeof(devMode), devMode.dmSpecVersion = DM_SPECVERSION;
    for (int i = 0; i < CCHDEVICENAME - 1 && name[i] != 0; ++i) devMode.dmDeviceName[i] = name[i];
    info.pPrinterName = W(name), info.pPortName = W(port), info.pDriverName = W(driver);
    info.pPrintProcessor = W(TEXT("winprint")), info.pDatatype = W(dataType), info.pDevMode = &devMode;
    info.Priority = 1;
  }
  HANDLE Add() { return handle = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info)); }
  ~Printer() {
    if (handle != nullptr) DeletePrinter(handle), ClosePrinter(handle);
  }
};

// The block of a two-call fetch: sized by the first call, which must fail
// with 122, and filled by the second; empty when either misbehaves.
template <typename Call>
std::vector<BYTE> Fetch(Call call, DWORD* count = nullptr) {
  DWORD needed = kPoison, returned = kPoison;
  PoisonError();
  if (call(nullptr, 0, &needed, &returned) || GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == kPoison)
    return {};
  std::vector<BYTE> block(needed);
  if (!call(block.data(), needed, &needed, &returned)) return {};
  if (count != nullptr) *count = returned;
  return block;
}

}  // namespace conformance
