// What the spooler cases share: files written with plain calls, a driver
// registered from dummy files, printers on existing ports, and the blocks
// the two-call fetch returns.
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

// Places a port monitor module (it provides the port "Ravelquill:") in the
// system directory under `fileName`; false when the build has none.
bool InstallMonitorModule(const WCHAR* fileName);

inline Text SystemFile(const WCHAR* fileName) {
  WCHAR directory[MAX_PATH];
  GetSystemDirectoryW(directory, MAX_PATH);
  return Text(directory) + TEXT("\\") + fileName;
}

inline Text WorkFile(const WCHAR* fileName) { return Text(WorkDirectory()) + TEXT("\\") + fileName; }

inline bool WriteBytes(const Text& path, const char* bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL wrote = WriteFile(file, bytes, static_cast<DWORD>(std::strlen(bytes)), &written, nullptr);
  CloseHandle(file);
  return wrote != FALSE;
}

inline bool Exists(const Text& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Names compare without regard to (ASCII) case, as the spooler compares them.
inline bool SameText(const WCHAR* a, const Text& b) {
  if (a == nullptr) return false;
  auto upper = [](WCHAR c) { return c >= 'a' && c <= 'z' ? static_cast<WCHAR>(c - 'a' + 'A') : c; };
  std::size_t i = 0;
  for (; a[i] != 0 && i < b.size(); ++i) {
    if (upper(a[i]) != upper(b[i])) return false;
  }
  return a[i] == 0 && i == b.size();
}

// Where AddPrinterDriverExW takes a driver's files from without
// APD_COPY_FROM_DIRECTORY: the environment's driver directory.
inline Text StagingDirectory() {
  WCHAR directory[MAX_PATH];
  DWORD needed = 0;
  GetPrinterDriverDirectoryW(nullptr, const_cast<LPWSTR>(TEXT("Windows x64")), 1, reinterpret_cast<LPBYTE>(directory),
                             sizeof(directory), &needed);
  return directory;
}

// The three files of a driver named after `stem`, staged as dummies.
struct DriverFiles {
  Text driver, data, config;
  void Remove() const {
    for (const Text* path : {&driver, &data, &config}) DeleteFileW(path->c_str());
  }
};
inline DriverFiles StageDriverFiles(const Text& stem) {
  const Text staging = StagingDirectory() + TEXT("\\");
  DriverFiles files{staging + stem + TEXT(".dll"), staging + stem + TEXT(".gpd"), staging + stem + TEXT("ui.dll")};
  WriteBytes(files.driver, "driver");
  WriteBytes(files.data, "data");
  WriteBytes(files.config, "config");
  return files;
}

inline DRIVER_INFO_6W DriverInfo(const WCHAR* name, DriverFiles& files) {
  DRIVER_INFO_6W info;
  std::memset(&info, 0, sizeof(info));
  info.cVersion = 3;
  info.pName = const_cast<LPWSTR>(name);
  info.pEnvironment = const_cast<LPWSTR>(TEXT("Windows x64"));
  info.pDriverPath = &files.driver[0];
  info.pDataFile = &files.data[0];
  info.pConfigFile = &files.config[0];
  return info;
}

// Registers the driver `name` from dummy files; true on success.
inline bool AddDummyDriver(const WCHAR* name, const Text& stem) {
  DriverFiles files = StageDriverFiles(stem);
  DRIVER_INFO_6W info = DriverInfo(name, files);
  const BOOL added = AddPrinterDriverExW(nullptr, 6, reinterpret_cast<LPBYTE>(&info), APD_COPY_ALL_FILES);
  files.Remove();
  return added != FALSE;
}

// Removes a driver the way that works everywhere (Wine takes no delete flag).
inline void RemoveDriver(const WCHAR* name) {
  DeletePrinterDriverExW(nullptr, const_cast<LPWSTR>(TEXT("Windows x64")), const_cast<LPWSTR>(name), 0, 0);
}

// PRINTER_INFO_2W for a printer with the RAW data type and a device mode,
// so that Wine need not load the driver's user interface.
struct PrinterSpec {
  PRINTER_INFO_2W info;
  DEVMODEW devMode;
  PrinterSpec(const WCHAR* name, const WCHAR* port, const WCHAR* driver) {
    std::memset(&info, 0, sizeof(info));
    std::memset(&devMode, 0, sizeof(devMode));
    devMode.dmSize = sizeof(devMode);
    devMode.dmSpecVersion = DM_SPECVERSION;
    for (int i = 0; i < CCHDEVICENAME - 1 && name[i] != 0; ++i) devMode.dmDeviceName[i] = name[i];
    info.pPrinterName = const_cast<LPWSTR>(name);
    info.pPortName = const_cast<LPWSTR>(port);
    info.pDriverName = const_cast<LPWSTR>(driver);
    info.pPrintProcessor = const_cast<LPWSTR>(TEXT("winprint"));
    info.pDatatype = const_cast<LPWSTR>(TEXT("RAW"));
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
