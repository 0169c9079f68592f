// The product on the machine, as the installer finds it: its folders and
// modules, the printers' settings keys, the tray program and its Run value,
// the files pending a rename at the next restart.
#include "snapshot.h"

#include <shlobj.h>

#include "shell/product.h"

namespace vexsnap {
namespace {

constexpr wchar_t kInstallerFile[] = L"vexinst64.exe";

std::wstring Parent(const std::wstring& path) {
  const size_t slash = path.find_last_of(L'\\');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

// The folder the product's setup makes under Program Files.
constexpr wchar_t kProductFolder[] = L"Ravelquill";

// ANSI text as the "A" calls read it, in the ANSI code page.
std::wstring FromAnsi(const char* text) {
  const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  std::wstring wide(static_cast<size_t>(length > 0 ? length : 1), L'\0');
  if (length > 0) MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], length);
  wide.resize(wide.size() - 1);
  return wide;
}

// The installer's folder: beside vexsnap when it was run from there, else
// where the product's own setup puts it.
void FindInstaller(Snapshot& snapshot) {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  const std::wstring own = length > 0 && length < MAX_PATH ? Parent(path) : std::wstring();
  if (!own.empty() && GetFileAttributesW((own + L"\\" + kInstallerFile).c_str()) != INVALID_FILE_ATTRIBUTES) {
    snapshot.installerDirectory = own;
  } else if (SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, path) == S_OK) {
    snapshot.installerDirectory = std::wstring(path) + L"\\" + kProductFolder + L"\\bin";
  }
  snapshot.trayDirectory = Parent(snapshot.installerDirectory);
}

// The value `name` of `key` as a machine file's value record; empty when missing.
std::string ReadValue(Snapshot& snapshot, HKEY key, LPCWSTR name, const std::string& where) {
  DWORD type = 0, size = 0;
  LONG result = RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
  std::vector<BYTE> data(size + 2);
  if (result == ERROR_SUCCESS) result = RegQueryValueExW(key, name, nullptr, &type, data.data(), &size);
  if (result == ERROR_FILE_NOT_FOUND) return std::string();
  if (result != ERROR_SUCCESS) return snapshot.LeaveOut(where, static_cast<DWORD>(result)), std::string();
  return RegistryValue(Quote(name), type, data.data(), size, false);
}

void AddKey(Snapshot& snapshot, const std::wstring& path, const std::vector<std::string>& values) {
  snapshot.keys.push_back(Object({Field("path", Quote(path)), Field("values", List(values, ""))}));
}

// Each settings key with its "deleted" mark, which an install clears.
void ReadSettingsKeys(Snapshot& snapshot) {
  const std::wstring root = L"HKEY_CURRENT_USER\\" + FromAnsi(ProductUserKey);
  std::string folder = std::string(ProductUserKey) + "\\" + SettingsKeyPrefix;
  folder.pop_back();
  HKEY settings = nullptr;
  const LONG opened = RegOpenKeyExA(HKEY_CURRENT_USER, folder.c_str(), 0, KEY_READ, &settings);
  if (opened == ERROR_FILE_NOT_FOUND) return;
  if (opened != ERROR_SUCCESS) return snapshot.LeaveOut("the printers' settings keys", static_cast<DWORD>(opened));
  for (DWORD index = 0;; ++index) {
    char name[256] = {};
    DWORD length = sizeof(name);
    const LONG listed = RegEnumKeyExA(settings, index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (listed == ERROR_NO_MORE_ITEMS) break;
    if (listed != ERROR_SUCCESS) {
      snapshot.LeaveOut("a printer's settings key", static_cast<DWORD>(listed));
      break;
    }
    std::vector<std::string> values;
    HKEY key = nullptr;
    const LONG result = RegOpenKeyExA(settings, name, 0, KEY_READ, &key);
    if (result == ERROR_SUCCESS) {
      DWORD type = 0, size = 0;
      BYTE data[512] = {};
      size = sizeof(data);
      const LONG read = RegQueryValueExA(key, "deleted", nullptr, &type, data, &size);
      if (read == ERROR_SUCCESS) values.push_back(RegistryValue("\"deleted\"", type, data, size, true));
      RegCloseKey(key);
    } else {
      snapshot.LeaveOut(std::string("the settings key ") + name, static_cast<DWORD>(result));
    }
    AddKey(snapshot, root + L"\\" + FromAnsi(SettingsKeyPrefix) + FromAnsi(name), values);
  }
  RegCloseKey(settings);
}

void ReadRunValue(Snapshot& snapshot) {
  std::vector<std::string> values;
  HKEY key = nullptr;
  const LONG opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, TrayRunKey, 0, KEY_READ, &key);
  if (opened == ERROR_SUCCESS) {
    const std::string value = ReadValue(snapshot, key, TrayRunValue, "the tray program's Run value");
    if (!value.empty()) values.push_back(value);
    RegCloseKey(key);
  } else if (opened != ERROR_FILE_NOT_FOUND) {
    snapshot.LeaveOut("the Run key", static_cast<DWORD>(opened));
  }
  AddKey(snapshot, L"HKEY_LOCAL_MACHINE\\" + std::wstring(TrayRunKey), values);
}

// Pending renames name files the installer looks at: record them too.
void ReadPendingRenames(Snapshot& snapshot) {
  std::vector<std::string> values;
  const wchar_t kSessionManager[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_READ, &key) == ERROR_SUCCESS) {
    const std::string value = ReadValue(snapshot, key, L"PendingFileRenameOperations", "the pending renames");
    if (!value.empty()) values.push_back(value);
    DWORD size = 0;
    if (RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS) {
      std::wstring list(size / 2 + 2, L'\0');
      RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr, reinterpret_cast<LPBYTE>(&list[0]),
                       &size);
      for (const wchar_t* item = list.c_str(); *item || item[1]; item += lstrlenW(item) + 1) {
        std::wstring path = item + (*item == L'!' ? 1 : 0);
        if (path.compare(0, 4, L"\\??\\") == 0) path.erase(0, 4);
        if (path.size() > 3 && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) snapshot.AddFile(path);
        if (!*item) break;
      }
    }
    RegCloseKey(key);
  }
  AddKey(snapshot, L"HKEY_LOCAL_MACHINE\\" + std::wstring(kSessionManager), values);
}

// Running is holding the mutex and owning the window; the mutex is only
// opened, never created, so the snapshot changes nothing.
void ReadTray(Snapshot& snapshot) {
  HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, TrayInstanceMutex);
  const bool holdsMutex = mutex != nullptr || GetLastError() == ERROR_ACCESS_DENIED;
  if (mutex) CloseHandle(mutex);
  const bool hasWindow = FindWindowW(TrayWindowClass, nullptr) != nullptr;
  if (!holdsMutex && !hasWindow) return;
  snapshot.processes.push_back(Object({Field("id", std::to_string(kTrayProcess)), Field("kind", "\"Program\""),
                                       Field("image", Quote(snapshot.trayDirectory + L"\\" + TrayProgramName)),
                                       // It quits when asked, as the tray program does.
                                       Field("quitMessage", std::to_string(TrayQuitMessage))}));
  if (holdsMutex) {
    snapshot.mutexes = Field(TrayInstanceMutex, Object({Field("owner", std::to_string(kTrayProcess))}));
  }
  if (hasWindow) {
    snapshot.windows.push_back(
        Object({Field("handle", std::to_string(kTrayWindow)), Field("className", Quote(TrayWindowClass)),
                Field("process", std::to_string(kTrayProcess))}));
  }
}

}  // namespace

void ReadProduct(Snapshot& snapshot) {
  FindInstaller(snapshot);
  for (const std::wstring& folder : {snapshot.installerDirectory, snapshot.trayDirectory}) {
    if (folder.empty()) continue;
    if (!snapshot.AddFolder(folder) && GetLastError() != ERROR_PATH_NOT_FOUND &&
        GetLastError() != ERROR_FILE_NOT_FOUND) {
      snapshot.LeaveOut("the listing of " + Utf8(folder), GetLastError());
    }
  }
  // The product's monitor module in the system directory, registered or not.
  const std::wstring monitor = snapshot.systemDirectory + L"\\" + X64Modules.MonitorFile;
  if (GetFileAttributesW(monitor.c_str()) != INVALID_FILE_ATTRIBUTES) snapshot.AddFile(monitor);
  // The product's monitor modules provide its one port, wherever they lie.
  for (const auto& file : snapshot.files) {
    const std::wstring& path = file.second;
    if (path.size() > static_cast<size_t>(lstrlenW(X64Modules.MonitorFile)) &&
        lstrcmpiW(path.c_str() + path.size() - lstrlenW(X64Modules.MonitorFile), X64Modules.MonitorFile) == 0 &&
        snapshot.monitorPorts[file.first].empty()) {
      snapshot.monitorPorts[file.first].push_back(ProductMonitorName);
    }
  }
  ReadSettingsKeys(snapshot);
  ReadRunValue(snapshot);
  ReadPendingRenames(snapshot);
  ReadTray(snapshot);
}

}  // namespace vexsnap
