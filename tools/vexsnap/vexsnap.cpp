// vexsnap [FILE]: writes what the installer depends on from this machine as
// a machine file vexsim loads (default vexsnap.json). Exit 0; 2 with one
// line on stderr and no file left behind when the file cannot be written.
// What cannot be read is left out and listed on stderr, never fatal.
#include "snapshot.h"

#include <shlobj.h>

#include <algorithm>
#include <cstdio>

#include "shell/product.h"

namespace vexsnap {

void Snapshot::AddDirectory(const std::wstring& path) {
  for (size_t end = path.find(L'\\', 3);; end = path.find(L'\\', end + 1)) {
    const std::wstring folder = path.substr(0, end);
    if (folder.size() > 3) dirs.emplace(Fold(folder), folder);
    if (end == std::wstring::npos) break;
  }
}

void Snapshot::AddFile(const std::wstring& path) {
  files.emplace(Fold(path), path);
  const size_t slash = path.find_last_of(L'\\');
  if (slash != std::wstring::npos) AddDirectory(path.substr(0, slash));
}

bool Snapshot::AddFolder(const std::wstring& folder, const std::vector<std::wstring>* only) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  AddDirectory(folder);
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      AddDirectory(folder + L"\\" + name);
    } else if (only == nullptr || std::any_of(only->begin(), only->end(), [&name](const std::wstring& wanted) {
                 return lstrcmpiW(wanted.c_str(), name.c_str()) == 0;
               })) {
      AddFile(folder + L"\\" + name);
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return true;
}

void Snapshot::LeaveOut(const std::string& what, DWORD error) {
  leftOut.push_back(what + " (error " + std::to_string(error) + ")");
}

namespace {

// The product version resource as "a.b.c.d", as the installer's build check
// reads it; empty without one.
std::string ProductVersion(const std::wstring& path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return std::string();
  std::vector<BYTE> block(size);
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data()) ||
      !VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &length) || info == nullptr) {
    return std::string();
  }
  return "\"" + std::to_string(HIWORD(info->dwProductVersionMS)) + "." +
         std::to_string(LOWORD(info->dwProductVersionMS)) + "." + std::to_string(HIWORD(info->dwProductVersionLS)) +
         "." + std::to_string(LOWORD(info->dwProductVersionLS)) + "\"";
}

}  // namespace

constexpr unsigned long long kLargestFile = 64ull << 20;

// A file's size stands in for its bytes: "00*N" is N zero bytes.
std::string FileRecords(Snapshot& snapshot) {
  std::vector<std::string> records;
  for (const auto& entry : snapshot.files) {
    const std::wstring& path = entry.second;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
      snapshot.LeaveOut("the file " + Utf8(path), GetLastError());
      continue;
    }
    const unsigned long long size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    // vexsim holds every file's bytes: a bound keeps a snapshot loadable.
    if (size > kLargestFile) {
      snapshot.LeaveOut("the file " + Utf8(path) + ", larger than 64 MiB", ERROR_FILE_TOO_LARGE);
      continue;
    }
    std::vector<std::string> fields = {Field("path", Quote(path))};
    if (size > 0) fields.push_back(Field("data", "\"00*" + std::to_string(size) + "\""));
    const std::string version = ProductVersion(path);
    if (!version.empty()) fields.push_back(Field("version", version));
    fields.push_back(Field("attributes", std::to_string(data.dwFileAttributes & 0x27)));
    const auto ports = snapshot.monitorPorts.find(entry.first);
    if (ports != snapshot.monitorPorts.end()) {
      std::vector<std::string> names;
      for (const auto& port : ports->second) names.push_back(Quote(port));
      fields.push_back(Field("monitorPorts", List(names, "")));
    }
    records.push_back(Object(fields));
  }
  return List(records, "      ");
}

void ReadSession(Snapshot& snapshot) {
  wchar_t path[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryW(path, MAX_PATH);
  snapshot.systemDirectory = length > 0 && length < MAX_PATH ? path : L"C:\\Windows\\system32";
  snapshot.AddDirectory(snapshot.systemDirectory);
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (GetVersionExA(&version)) {
#pragma GCC diagnostic pop
    snapshot.version = Object({Field("major", std::to_string(version.dwMajorVersion)),
                               Field("minor", std::to_string(version.dwMinorVersion)),
                               Field("build", std::to_string(version.dwBuildNumber)),
                               Field("platform", std::to_string(version.dwPlatformId))});
  }
  // A service's station (a setup run as SYSTEM) shows no log window.
  USEROBJECTFLAGS flags = {};
  DWORD needed = 0;
  HWINSTA station = GetProcessWindowStation();
  wchar_t name[256] = {};
  if (station != nullptr && GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof(flags), &needed)) {
    std::vector<std::string> fields;
    if (GetUserObjectInformationW(station, UOI_NAME, name, sizeof(name) - sizeof(wchar_t), &needed)) {
      fields.push_back(Field("name", Quote(name)));
    }
    fields.push_back(Field("visible", (flags.dwFlags & WSF_VISIBLE) ? "true" : "false"));
    snapshot.station = Object(fields);
  }
  // The clock starts at the moment of the snapshot, in the machine's time zone.
  SYSTEMTIME now;
  GetSystemTime(&now);
  char start[32];
  std::snprintf(start, sizeof(start), "\"%04u-%02u-%02u %02u:%02u:%02u\"", now.wYear, now.wMonth, now.wDay, now.wHour,
                now.wMinute, now.wSecond);
  TIME_ZONE_INFORMATION zone;
  const DWORD kind = GetTimeZoneInformation(&zone);
  LONG bias = zone.Bias + (kind == TIME_ZONE_ID_DAYLIGHT ? zone.DaylightBias : 0);
  if (kind == TIME_ZONE_ID_INVALID || bias < -840 || bias > 720) bias = 0;
  snapshot.clock = Object({Field("start", start), Field("timeZoneBias", std::to_string(bias))});
  snapshot.processes.push_back(
      Object({Field("id", std::to_string(kSystemProcess)), Field("kind", "\"System\""), Field("image", "\"System\"")}));
  wchar_t data[MAX_PATH] = {};
  if (SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, data) == S_OK) {
    snapshot.AddDirectory(data);
  }
}

namespace {

std::string Document(Snapshot& snapshot) {
  const char* const kIndent = "      ";
  std::vector<std::string> keys = snapshot.keys;
  for (const wchar_t* path :
       {L"HKEY_CLASSES_ROOT", L"HKEY_USERS", L"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print",
        L"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"}) {
    keys.push_back(Object({Field("path", Quote(path))}));
  }
  const std::string files = FileRecords(snapshot);
  std::vector<std::string> dirs;
  for (const auto& dir : snapshot.dirs) dirs.push_back(Quote(dir.second));
  std::vector<std::string> spooler = {
      Field("monitors", List(snapshot.monitors, kIndent)), Field("drivers", List(snapshot.drivers, kIndent)),
      Field("printers", List(snapshot.printers, kIndent)), Field("defaultPrinter", snapshot.defaultPrinter),
      Field("nextJobId", std::to_string(snapshot.jobs + 1))};
  if (!snapshot.environment.empty()) spooler.push_back(Field("environments", "[" + snapshot.environment + "]"));
  std::vector<std::string> desktop = {Field("windows", List(snapshot.windows, kIndent)),
                                      Field("nextHandle", std::to_string(kTrayWindow + 16))};
  if (!snapshot.station.empty()) desktop.insert(desktop.begin(), Field("station", snapshot.station));
  // How the product's programs behave when the installer starts them.
  const std::string programs = List(
      std::vector<std::string>{
          Object({Field("fileName", Quote(TrayProgramName)),
                  Field("mutexName", "\"" + std::string(TrayInstanceMutex) + "\""),
                  Field("windowClass", Quote(TrayWindowClass)), Field("quitMessage", std::to_string(TrayQuitMessage)),
                  Field("quitDelayMs", "200")}),
          Object({Field("fileName", "\"hh.exe\""), Field("windowClass", "\"HH Parent\""),
                  Field("windowTitle", Quote(ProductHelpTitle))})},
      "    ");
  std::string out = "{\n";
  out += "  " + Field("clock", snapshot.clock) + ",\n";
  out += "  " +
         Field("files", "{\n    " + Field("files", files) + ",\n    " + Field("dirs", List(dirs, kIndent)) + "\n  }") +
         ",\n";
  out += "  " + Field("registry", "{\n    " + Field("keys", List(keys, kIndent)) + "\n  }") + ",\n";
  if (!snapshot.service.empty()) out += "  " + Field("services", snapshot.service) + ",\n";
  out += "  " +
         Field(
             "spooler", "{\n    " +
                            [&] {
                              std::string joined;
                              for (size_t i = 0; i < spooler.size(); ++i) joined += (i ? ",\n    " : "") + spooler[i];
                              return joined;
                            }() +
                            "\n  }") +
         ",\n";
  out += "  " + Field("desktop", Object(desktop)) + ",\n";
  if (!snapshot.version.empty()) out += "  " + Field("version", snapshot.version) + ",\n";
  out += "  " + Field("processes", List(snapshot.processes, "    ")) + ",\n";
  out += "  " + Field("nextProcessId", std::to_string(kNextProcess)) + ",\n";
  out += "  " + Field("mutexes", "{" + snapshot.mutexes + "}") + ",\n";
  out += "  " + Field("programs", programs) + ",\n";
  out += "  " + Field("systemDirectory", Quote(snapshot.systemDirectory)) + "\n}\n";
  return out;
}

// Written beside the target and moved over it: a failed write leaves nothing.
bool Write(const std::wstring& target, const std::string& text, DWORD& error) {
  const std::wstring temporary = target + L".tmp";
  HANDLE file =
      CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return error = GetLastError(), false;
  DWORD written = 0;
  const bool ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                  written == text.size() && FlushFileBuffers(file);
  error = GetLastError();
  CloseHandle(file);
  if (ok && MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  if (ok) error = GetLastError();
  DeleteFileW(temporary.c_str());
  return false;
}

}  // namespace
}  // namespace vexsnap

int wmain(int argc, wchar_t** argv) {
  if (argc > 2 || (argc == 2 && (argv[1][0] == L'-' || argv[1][0] == 0))) {
    std::fprintf(stderr, "vexsnap: usage: vexsnap [FILE]\n");
    return 2;
  }
  const std::wstring target = argc == 2 ? argv[1] : L"vexsnap.json";
  vexsnap::Snapshot snapshot;
  vexsnap::ReadSession(snapshot);
  vexsnap::ReadSpooler(snapshot);
  vexsnap::ReadProduct(snapshot);
  const std::string text = vexsnap::Document(snapshot);
  DWORD error = 0;
  if (!vexsnap::Write(target, text, error)) {
    std::fprintf(stderr, "vexsnap: %s: cannot be written (error %lu)\n", vexsnap::Utf8(target).c_str(),
                 static_cast<unsigned long>(error));
    return 2;
  }
  for (const std::string& line : snapshot.leftOut) std::fprintf(stderr, "vexsnap: left out %s\n", line.c_str());
  std::fprintf(stderr, "vexsnap: %zu printers, %zu files; %zu items left out\n", snapshot.printers.size(),
               snapshot.files.size(), snapshot.leftOut.size());
  return 0;
}
