// spoolstate.exe [PATH...]: prints, as one JSON object, what an installation
// leaves behind: the "spooler" service's state, port monitors, ports, drivers,
// printers with their settings link, the default printer, the tray program's
// Run value, mutex and window, the pending file renames, and for each PATH
// whether the file exists and the build number in its product version.
#include <windows.h>
#include <shellapi.h>
#include <winspool.h>

#include <functional>
#include <string>
#include <vector>

#include "../../../fixtures/tray/tray_companion.h"
#include "helper_io.h"

namespace {

struct Block {
  std::vector<BYTE> Bytes;
  DWORD Count = 0;
  DWORD Error = 0;
};

// The spooler's two calls: the size first, then the records.
Block Fetch(const std::function<BOOL(LPBYTE, DWORD, DWORD*, DWORD*)>& call) {
  Block block;
  DWORD needed = 0;
  DWORD count = 0;
  if (call(nullptr, 0, &needed, &count)) return block;
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    block.Error = GetLastError();
    return block;
  }
  block.Bytes.resize(needed);
  if (!call(block.Bytes.data(), needed, &needed, &count)) {
    block.Error = GetLastError();
    return block;
  }
  block.Count = count;
  return block;
}

template <typename Record>
const Record* Records(const Block& block) {
  return reinterpret_cast<const Record*>(block.Bytes.data());
}

std::string MultiString(const WCHAR* list) {
  std::string out = "[";
  for (const WCHAR* item = list; item != nullptr && *item != 0; item += lstrlenW(item) + 1) {
    if (out.size() > 1) out += ", ";
    out += Json(item);
  }
  return out + "]";
}

std::string ServiceState() {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (manager == nullptr) return Json(L"no service manager");
  SC_HANDLE service = OpenServiceW(manager, L"spooler", SERVICE_QUERY_STATUS);
  std::wstring state = L"missing";
  if (service != nullptr) {
    SERVICE_STATUS status = {};
    state = L"unknown";
    if (QueryServiceStatus(service, &status)) {
      switch (status.dwCurrentState) {
        case SERVICE_STOPPED: state = L"stopped"; break;
        case SERVICE_START_PENDING: state = L"start pending"; break;
        case SERVICE_STOP_PENDING: state = L"stop pending"; break;
        case SERVICE_RUNNING: state = L"running"; break;
        case SERVICE_PAUSED: state = L"paused"; break;
        default: break;
      }
    }
    CloseServiceHandle(service);
  }
  CloseServiceHandle(manager);
  return Json(state);
}

std::string Monitors() {
  const Block block = Fetch([](LPBYTE data, DWORD size, DWORD* needed, DWORD* count) {
    return EnumMonitorsW(nullptr, 2, data, size, needed, count);
  });
  std::string out = "[";
  for (DWORD i = 0; i < block.Count; ++i) {
    const MONITOR_INFO_2W& monitor = Records<MONITOR_INFO_2W>(block)[i];
    if (i > 0) out += ", ";
    out += "{" + Field("name", Json(monitor.pName)) + ", " + Field("environment", Json(monitor.pEnvironment)) + ", " +
           Field("dll", Json(monitor.pDLLName)) + "}";
  }
  return out + "]";
}

std::string Ports() {
  const Block block = Fetch([](LPBYTE data, DWORD size, DWORD* needed, DWORD* count) {
    return EnumPortsW(nullptr, 2, data, size, needed, count);
  });
  std::string out = "[";
  for (DWORD i = 0; i < block.Count; ++i) {
    const PORT_INFO_2W& port = Records<PORT_INFO_2W>(block)[i];
    if (i > 0) out += ", ";
    out += "{" + Field("name", Json(port.pPortName)) + ", " + Field("monitor", Json(port.pMonitorName)) + "}";
  }
  return out + "]";
}

std::string Drivers() {
  const Block block = Fetch([](LPBYTE data, DWORD size, DWORD* needed, DWORD* count) {
    return EnumPrinterDriversW(nullptr, const_cast<LPWSTR>(L"Windows x64"), 3, data, size, needed, count);
  });
  std::string out = "[";
  for (DWORD i = 0; i < block.Count; ++i) {
    const DRIVER_INFO_3W& driver = Records<DRIVER_INFO_3W>(block)[i];
    if (i > 0) out += ", ";
    out += "{" + Field("name", Json(driver.pName)) + ", " + Field("environment", Json(driver.pEnvironment)) + ", " +
           Field("version", Number(driver.cVersion)) + ", " + Field("driver", Json(driver.pDriverPath)) + ", " +
           Field("data", Json(driver.pDataFile)) + ", " + Field("config", Json(driver.pConfigFile)) + ", " +
           Field("help", Json(driver.pHelpFile)) + ", " + Field("dependent", MultiString(driver.pDependentFiles)) +
           ", " + Field("monitor", Json(driver.pMonitorName)) + "}";
  }
  return out + "]";
}

std::string PrinterValue(DWORD result, DWORD type, const std::vector<BYTE>& data, DWORD size) {
  if (result != ERROR_SUCCESS) return "{" + Field("error", Number(result)) + "}";
  std::string value;
  if (type == REG_SZ || type == REG_EXPAND_SZ) {
    value = Json(reinterpret_cast<const WCHAR*>(data.data()), static_cast<int>(size / sizeof(WCHAR)));
    // Stored with or without the terminating zero: show the text itself.
    if (size >= sizeof(WCHAR) && data[size - 1] == 0 && data[size - 2] == 0) {
      value = Json(reinterpret_cast<const WCHAR*>(data.data()));
    }
  } else {
    value = "\"";
    for (DWORD i = 0; i < size; ++i) {
      char hex[4];
      snprintf(hex, sizeof(hex), "%02x", data[i]);
      value += hex;
    }
    value += "\"";
  }
  return "{" + Field("type", Number(type)) + ", " + Field("value", value) + "}";
}

// The printer's link to its per-user settings, plain and under "DsUser".
std::string SettingsLink(LPWSTR name) {
  HANDLE printer = nullptr;
  if (!OpenPrinterW(name, &printer, nullptr)) return "{" + Field("open_error", Number(GetLastError())) + "}";
  std::vector<BYTE> data(1024);
  DWORD type = 0;
  DWORD size = 0;
  DWORD result = GetPrinterDataW(printer, const_cast<LPWSTR>(L"SubKey"), &type, data.data(),
                                 static_cast<DWORD>(data.size()), &size);
  std::string out = "{" + Field("SubKey", PrinterValue(result, type, data, size));
  result = GetPrinterDataExW(printer, L"DsUser", L"SubKey", &type, data.data(), static_cast<DWORD>(data.size()), &size);
  out += ", " + Field("DsUser\\\\SubKey", PrinterValue(result, type, data, size)) + "}";
  ClosePrinter(printer);
  return out;
}

std::string Printers() {
  const Block block = Fetch([](LPBYTE data, DWORD size, DWORD* needed, DWORD* count) {
    return EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, data, size, needed, count);
  });
  std::string out = "[";
  for (DWORD i = 0; i < block.Count; ++i) {
    const PRINTER_INFO_2W& printer = Records<PRINTER_INFO_2W>(block)[i];
    if (i > 0) out += ", ";
    out += "{" + Field("name", Json(printer.pPrinterName)) + ", " + Field("port", Json(printer.pPortName)) + ", " +
           Field("driver", Json(printer.pDriverName)) + ", " + Field("processor", Json(printer.pPrintProcessor)) +
           ", " + Field("datatype", Json(printer.pDatatype)) + ", " + Field("comment", Json(printer.pComment)) + ", " +
           Field("location", Json(printer.pLocation)) + ", " + Field("attributes", Number(printer.Attributes)) + ", " +
           Field("data", SettingsLink(printer.pPrinterName)) + "}";
  }
  return out + "]";
}

std::string DefaultPrinter() {
  WCHAR name[256] = {};
  DWORD size = 256;
  return GetDefaultPrinterW(name, &size) ? Json(name) : "null";
}

// A registry value as text, or null when it is absent.
std::string RegistryValue(LPCWSTR key, LPCWSTR value, bool multi) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS) return "null";
  DWORD type = 0;
  DWORD size = 0;
  std::string out = "null";
  if (RegQueryValueExW(handle, value, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
    std::vector<WCHAR> data(size / sizeof(WCHAR) + 2, 0);
    if (RegQueryValueExW(handle, value, nullptr, &type, reinterpret_cast<LPBYTE>(data.data()), &size) ==
        ERROR_SUCCESS) {
      if (!multi) {
        out = Json(data.data());
      } else {
        // Every string, empty ones included: renames come in pairs and an
        // empty target means "delete".
        out = "[";
        const size_t chars = size / sizeof(WCHAR);
        size_t start = 0;
        bool first = true;
        for (size_t i = 0; i < chars; ++i) {
          if (data[i] != 0) continue;
          if (i + 1 == chars && i == start && !first) break;  // the list's final zero
          if (!first) out += ", ";
          out += Json(&data[start], static_cast<int>(i - start));
          first = false;
          start = i + 1;
        }
        out += "]";
      }
    }
  }
  RegCloseKey(handle);
  return out;
}

std::string TrayMutex() {
  HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, L"" RAVELQUILL_TRAY_MUTEX);
  if (mutex == nullptr) return "false";
  CloseHandle(mutex);
  return "true";
}

std::string FileBuild(LPCWSTR path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
  if (size == 0) return "null";
  std::vector<BYTE> data(size);
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!GetFileVersionInfoW(path, 0, size, data.data()) ||
      !VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) || info == nullptr) {
    return "null";
  }
  return Number(LOWORD(info->dwProductVersionLS));
}

std::string Files(int count, LPWSTR* args) {
  std::string out = "[";
  for (int i = 1; i < count; ++i) {
    if (i > 1) out += ", ";
    const bool exists = GetFileAttributesW(args[i]) != INVALID_FILE_ATTRIBUTES;
    out += "{" + Field("path", Json(args[i])) + ", " + Field("exists", exists ? "true" : "false") + ", " +
           Field("build", exists ? FileBuild(args[i]) : "null") + "}";
  }
  return out + "]";
}

}  // namespace

int main() {
  int count = 0;
  LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
  // The service first: the spooler calls below must not be what starts it.
  std::string out = "{\n" + Field("spooler", ServiceState());
  out += ",\n" + Field("monitors", Monitors());
  out += ",\n" + Field("ports", Ports());
  out += ",\n" + Field("drivers", Drivers());
  out += ",\n" + Field("printers", Printers());
  out += ",\n" + Field("default_printer", DefaultPrinter());
  out += ",\n" + Field("run_tray",
                       RegistryValue(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", L"RavelquillTray", false));
  out += ",\n" + Field("pending_renames", RegistryValue(L"SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                                                        L"PendingFileRenameOperations", true));
  out += ",\n" + Field("tray_mutex", TrayMutex());
  out += ",\n" + Field("tray_window", FindWindowW(L"" RAVELQUILL_TRAY_WINDOW_CLASS, nullptr) ? "true" : "false");
  out += ",\n" + Field("files", Files(args != nullptr ? count : 0, args));
  WriteOut(out + "\n}\n");
  return 0;
}
