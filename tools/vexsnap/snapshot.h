// vexsnap: what a snapshot gathers while it reads the machine, section by
// section, before it is written as one machine file (docs/machine-format.md).
#pragma once
#include <windows.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace vexsnap {

// Ids the snapshot gives the processes it records; the installer's own
// process is added by the run that loads the file.
constexpr DWORD kSystemProcess = 4;
constexpr DWORD kSpoolerProcess = 256;
constexpr DWORD kTrayProcess = 260;
constexpr DWORD kNextProcess = 264;
constexpr unsigned long long kTrayWindow = 0x10010;

struct Snapshot {
  // Each section's records, JSON objects already written, in reading order.
  std::vector<std::string> monitors, drivers, printers, keys, processes, windows;
  std::string service;         // the spooler service record
  std::string defaultPrinter;  // JSON value: a string or null
  std::string environment;     // the x64 environment record
  std::string version, station, clock, mutexes;
  unsigned jobs = 0;  // queued jobs counted over all printers
  // Files to record, by folded path, with the ports of a monitor module.
  std::map<std::wstring, std::wstring> files;
  std::map<std::wstring, std::vector<std::wstring>> monitorPorts;
  std::map<std::wstring, std::wstring> dirs;  // folded -> as found
  std::wstring systemDirectory, driverDirectory, installerDirectory, trayDirectory;
  // What could not be read: one line each, for stderr.
  std::vector<std::string> leftOut;

  void AddFile(const std::wstring& path);
  void AddDirectory(const std::wstring& path);  // and the folders above it
  void LeaveOut(const std::string& what, DWORD error);
  // Records the files of `folder` (not its sub-folders), only those named
  // in `only` when it is given; false when the folder cannot be listed.
  bool AddFolder(const std::wstring& folder, const std::vector<std::wstring>* only = nullptr);
};

// JSON text: a quoted UTF-8 string, hex bytes, a registry value record.
std::string Utf8(const std::wstring& text);
std::string Quote(const std::wstring& text);
std::string QuoteAnsi(const char* text);
std::string Hex(const BYTE* data, DWORD size);
std::string Field(const char* name, const std::string& json);
std::string Object(const std::vector<std::string>& fields);
std::string List(const std::vector<std::string>& items, const char* indent);
std::string Fold(const std::string& text);
std::wstring Fold(const std::wstring& text);
// A value as the machine file has it: name, type, data by type.
std::string RegistryValue(const std::string& quotedName, DWORD type, const BYTE* data, DWORD size, bool ansi);

// The readers, one per subject; each adds what it read and leaves out the rest.
void ReadSpooler(Snapshot& snapshot);
void ReadProduct(Snapshot& snapshot);
void ReadSession(Snapshot& snapshot);
// The files the readers named, with their size and version resource.
std::string FileRecords(Snapshot& snapshot);

}  // namespace vexsnap
