// What the spooler cases share: drivers registered from dummy files,
// printers on existing ports, each removed again at the case's end, and the
// blocks the two-call fetch returns.
#pragma once
#include <windows.h>
#include <winspool.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "conformance.h"

namespace conformance {

using Text = std::basic_string<WCHAR>;
inline WCHAR kX64[] = TEXT("Windows x64");

// Places a port monitor module (it provides the port "Ravelquill:") in the
// system directory under `fileName`; false when the build has none.
bool InstallMonitorModule(const WCHAR* fileName);

inline bool Exists(const Text& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Names compare without regard to (ASCII) case, as the spooler compares them.
inline bool SameName(const WCHAR* a, const Text& b) { return a != nullptr && SameText(a, b.c_str(), true); }

// The environment's driver directory: where AddPrinterDriverExW takes a
// driver's files from; its "3" directory is the store they are copied to.
inline Text DriverDirectory() {
  WCHAR directory[MAX_PATH];
  DWORD needed = 0;
  GetPrinterDriverDirectoryW(nullptr, kX64, 1, reinterpret_cast<LPBYTE>(directory), sizeof(directory), &needed);
  return directory;
}

// The driver `name`, its three files staged as dummies named after `stem`;
// the staged files are deleted again at the end.
struct StagedDriver {
  Text files[3];  // driver, data, configuration
  DRIVER_INFO_6W info{};
  StagedDriver(const WCHAR* name, const Text& stem) {
    const Text staged = DriverDirectory() + TEXT("\\") + stem;
    files[0] = staged + TEXT(".dll"), files[1] = staged + TEXT(".gpd"), files[2] = staged + TEXT("ui.dll");
    for (const Text& path : files) {
      HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
      DWORD written = 0;
      WriteFile(file, "dummy", 5, &written, nullptr);
      CloseHandle(file);
    }
    info.cVersion = 3;
    info.pName = const_cast<LPWSTR>(name);
    info.pEnvironment = kX64;
    info.pDriverPath = &files[0][0], info.pDataFile = &files[1][0], info.pConfigFile = &files[2][0];
  }
  ~StagedDriver() {
    for (const Text& path : files) DeleteFileW(path.c_str());
  }
  BOOL Add() { return AddPrinterDriverExW(nullptr, 6, reinterpret_cast<LPBYTE>(&info), APD_COPY_ALL_FILES); }
};

// A driver the case adds; deleted (without a flag: Wine takes none) at its end.
struct ScratchDriver {
  const WCHAR* name;
  explicit ScratchDriver(const WCHAR* name, const WCHAR* stem = TEXT("cpdrv")) : name(name) {
    expect(StagedDriver(name, stem).Add(), 0);
  }
  ~ScratchDriver() { DeletePrinterDriverExW(nullptr, kX64, const_cast<LPWSTR>(name), 0, 0); }
};

// PRINTER_INFO_2W for a printer with the RAW data type and a device mode,
// so that Wine need not load the driver's user interface.
struct PrinterSpec {
  PRINTER_INFO_2W info{};
  DEVMODEW devMode{};
  PrinterSpec(const WCHAR* name, const WCHAR* port, const WCHAR* driver, const WCHAR* dataType = TEXT("RAW")) {
    devMode.dmSize = sizeof(devMode);
    devMode.dmSpecVersion = DM_SPECVERSION;
    for (int i = 0; i < CCHDEVICENAME - 1 && name[i] != 0; ++i) devMode.dmDeviceName[i] = name[i];
    info.pPrinterName = const_cast<LPWSTR>(name);
    info.pPortName = const_cast<LPWSTR>(port);
    info.pDriverName = const_cast<LPWSTR>(driver);
    info.pPrintProcessor = const_cast<LPWSTR>(TEXT("winprint"));
    info.pDatatype = const_cast<LPWSTR>(dataType);
    info.pDevMode = &devMode;
    info.Priority = 1;
  }
  LPBYTE Bytes() { return reinterpret_cast<LPBYTE>(&info); }
};

// Opens the printer with every right and deletes it; true when it went.
inline bool RemovePrinter(const WCHAR* name) {
  PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
  HANDLE printer = nullptr;
  if (!OpenPrinterW(const_cast<LPWSTR>(name), &printer, &defaults)) return false;
  const BOOL deleted = DeletePrinter(printer);
  ClosePrinter(printer);
  return deleted != FALSE;
}

// A printer the case adds, with the handle AddPrinterW gave; that handle is
// closed and the printer deleted, if it is still there, at the case's end.
struct ScratchPrinter {
  PrinterSpec spec;
  HANDLE handle;
  ScratchPrinter(const WCHAR* name, const WCHAR* port, const WCHAR* driver, const WCHAR* dataType = TEXT("RAW"))
      : spec(name, port, driver, dataType), handle(expect(AddPrinterW(nullptr, 2, spec.Bytes()), 0)) {}
  ~ScratchPrinter() {
    if (handle != nullptr) ClosePrinter(handle);
    RemovePrinter(spec.info.pPrinterName);
  }
};

// The block a two-call fetch returns: sized by the first call (which must
// fail with 122), filled by the second. Empty when either call misbehaves.
template <typename Call>
std::vector<BYTE> Fetch(Call call, DWORD* count = nullptr) {
  DWORD needed = kPoison, returned = kPoison;
  PoisonError();
  if (call(nullptr, 0, &needed, &returned) || GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == kPoison) {
    return {};
  }
  std::vector<BYTE> block(needed);
  if (!call(block.data(), needed, &needed, &returned)) return {};
  if (count != nullptr) *count = returned;
  return block;
}

}  // namespace conformance
