// The spooler as the installer reads it: the service's state, the port
// monitors, the x64 drivers, the printers with their settings names, and the
// default printer. The same calls and levels as the installer's.
#include "snapshot.h"

#include <winspool.h>

#include <functional>

#include "shell/product.h"

namespace vexsnap {
namespace {

// Sizing call, then the filling call into a block of the size asked for.
bool Fetch(const std::function<BOOL(LPBYTE, DWORD, LPDWORD)>& call, std::vector<BYTE>& block) {
  DWORD needed = 0;
  if (call(nullptr, 0, &needed)) return block.clear(), true;
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
  block.assign(needed, 0);
  return call(block.data(), needed, &needed) != FALSE;
}

std::wstring Text(LPCWSTR text) { return text ? text : L""; }

std::string Name(LPCWSTR text) { return Quote(Text(text)); }

std::vector<std::wstring> MultiText(LPCWSTR list) {
  std::vector<std::wstring> items;
  for (LPCWSTR item = list; item && *item; item += lstrlenW(item) + 1) items.push_back(item);
  return items;
}

std::string TextList(const std::vector<std::wstring>& items) {
  std::vector<std::string> quoted;
  for (const auto& item : items) quoted.push_back(Quote(item));
  return List(quoted, "");
}

std::string Number(DWORD value) { return std::to_string(value); }

void ReadService(Snapshot& snapshot) {
  std::vector<std::string> fields;
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (manager == nullptr) {
    // The installer meets the same refusal; the service keeps its defaults.
    const DWORD error = GetLastError();
    snapshot.service = Object({Field("managerOpenError", Number(error))});
    return snapshot.LeaveOut("the service manager", error);
  }
  SC_HANDLE service = OpenServiceW(manager, L"spooler", SERVICE_QUERY_STATUS);
  SERVICE_STATUS status = {};
  if (service == nullptr) {
    // The installer meets the same refusal (no such service, access denied):
    // the state it cannot reach is of no account.
    const DWORD error = GetLastError();
    snapshot.service =
        Object({Field("spooler", Object({Field("state", "\"SERVICE_RUNNING\""), Field("openError", Number(error))}))});
    snapshot.LeaveOut("the spooler service's state", error);
  } else if (!QueryServiceStatus(service, &status)) {
    snapshot.LeaveOut("the spooler service's state", GetLastError());
  } else {
    const bool running = status.dwCurrentState == SERVICE_RUNNING;
    const char* const kStates[] = {"SERVICE_STOPPED", "SERVICE_START_PENDING",    "SERVICE_STOP_PENDING",
                                   "SERVICE_RUNNING", "SERVICE_CONTINUE_PENDING", "SERVICE_PAUSE_PENDING",
                                   "SERVICE_PAUSED"};
    const DWORD state = status.dwCurrentState;
    fields = {Field("state", state >= 1 && state <= 7 ? "\"" + std::string(kStates[state - 1]) + "\"" : Number(state))};
    if (running) fields.push_back(Field("process", Number(kSpoolerProcess)));
    snapshot.service = Object({Field("spooler", Object(fields))});
    if (running) {
      snapshot.processes.push_back(Object({Field("id", Number(kSpoolerProcess)), Field("kind", "\"Spooler\""),
                                           Field("image", Quote(snapshot.systemDirectory + L"\\spoolsv.exe"))}));
    }
  }
  if (service) CloseServiceHandle(service);
  CloseServiceHandle(manager);
}

void ReadPorts(Snapshot& snapshot, const std::map<std::wstring, std::wstring>& moduleOfMonitor) {
  std::vector<BYTE> block;
  DWORD count = 0;
  auto enumerate = [&count](LPBYTE b, DWORD size, LPDWORD needed) {
    return EnumPortsW(nullptr, 2, b, size, needed, &count);
  };
  if (!Fetch(enumerate, block)) return snapshot.LeaveOut("the ports", GetLastError());
  const auto* ports = reinterpret_cast<const PORT_INFO_2W*>(block.data());
  for (DWORD i = 0; i < count && !block.empty(); ++i) {
    auto module = moduleOfMonitor.find(Fold(Text(ports[i].pMonitorName)));
    // A port of a monitor not listed is the local monitor's: Wine names it
    // "Local Monitor" here and "Local Port" in EnumMonitorsW.
    if (module == moduleOfMonitor.end()) module = moduleOfMonitor.find(L"");
    if (module == moduleOfMonitor.end()) continue;
    snapshot.monitorPorts[module->second].push_back(Text(ports[i].pPortName));
  }
}

void ReadMonitors(Snapshot& snapshot) {
  std::vector<BYTE> block;
  DWORD count = 0;
  auto enumerate = [&count](LPBYTE b, DWORD size, LPDWORD needed) {
    return EnumMonitorsW(nullptr, 2, b, size, needed, &count);
  };
  if (!Fetch(enumerate, block)) return snapshot.LeaveOut("the port monitors", GetLastError());
  const auto* monitors = reinterpret_cast<const MONITOR_INFO_2W*>(block.data());
  std::map<std::wstring, std::wstring> moduleOfMonitor;
  for (DWORD i = 0; i < count && !block.empty(); ++i) {
    const MONITOR_INFO_2W& monitor = monitors[i];
    const std::wstring module = snapshot.systemDirectory + L"\\" + Text(monitor.pDLLName);
    snapshot.monitors.push_back(
        Object({Field("name", Name(monitor.pName)), Field("environment", Name(monitor.pEnvironment)),
                Field("dll", Name(monitor.pDLLName))}));
    if (GetFileAttributesW(module.c_str()) == INVALID_FILE_ATTRIBUTES) {
      snapshot.LeaveOut("the module of monitor \"" + Utf8(Text(monitor.pName)) + "\"", GetLastError());
      continue;
    }
    snapshot.AddFile(module);
    moduleOfMonitor[Fold(Text(monitor.pName))] = Fold(module);
    if (lstrcmpiW(monitor.pDLLName, L"localspl.dll") == 0) moduleOfMonitor[L""] = Fold(module);
    snapshot.monitorPorts[Fold(module)];
  }
  ReadPorts(snapshot, moduleOfMonitor);
}

void ReadDrivers(Snapshot& snapshot) {
  std::vector<BYTE> block;
  DWORD count = 0;
  LPWSTR environment = const_cast<LPWSTR>(X64Modules.Environment);
  auto enumerate = [&count, environment](LPBYTE b, DWORD size, LPDWORD needed) {
    return EnumPrinterDriversW(nullptr, environment, 6, b, size, needed, &count);
  };
  if (!Fetch(enumerate, block)) return snapshot.LeaveOut("the printer drivers", GetLastError());
  const auto* drivers = reinterpret_cast<const DRIVER_INFO_6W*>(block.data());
  for (DWORD i = 0; i < count && !block.empty(); ++i) {
    const DRIVER_INFO_6W& d = drivers[i];
    snapshot.drivers.push_back(
        Object({Field("name", Name(d.pName)), Field("environment", Name(d.pEnvironment)),
                Field("version", Number(d.cVersion)), Field("driverPath", Name(d.pDriverPath)),
                Field("dataFile", Name(d.pDataFile)), Field("configFile", Name(d.pConfigFile)),
                Field("helpFile", Name(d.pHelpFile)), Field("dependentFiles", TextList(MultiText(d.pDependentFiles))),
                Field("monitorName", Name(d.pMonitorName)), Field("defaultDataType", Name(d.pDefaultDataType)),
                Field("previousNames", TextList(MultiText(d.pszzPreviousNames))), Field("mfgName", Name(d.pszMfgName)),
                Field("oemUrl", Name(d.pszOEMUrl)), Field("hardwareId", Name(d.pszHardwareID)),
                Field("provider", Name(d.pszProvider))}));
    for (LPCWSTR path : {d.pDriverPath, d.pDataFile, d.pConfigFile, d.pHelpFile}) {
      if (path && *path) snapshot.AddFile(path);
    }
    for (const auto& path : MultiText(d.pDependentFiles)) {
      // Dependent files are named without their folder.
      snapshot.AddFile(path.find(L'\\') == std::wstring::npos ? snapshot.driverDirectory + L"\\3\\" + path : path);
    }
  }
}

// The settings name "SubKey", plain and under "DsUser", read as the
// installer reads it (ANSI); each as a printer data value.
std::string PrinterData(Snapshot& snapshot, LPWSTR name) {
  HANDLE printer = nullptr;
  if (!OpenPrinterW(name, &printer, nullptr)) {
    snapshot.LeaveOut("the data of printer \"" + Utf8(name) + "\"", GetLastError());
    return std::string();
  }
  std::vector<std::string> keys;
  const char* const kValue = "SubKey";
  for (const char* key : {static_cast<const char*>(nullptr), "DsUser"}) {
    DWORD type = 0, needed = 0;
    std::vector<BYTE> data(1);
    DWORD result = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
      result =
          key ? GetPrinterDataExA(printer, key, kValue, &type, data.data(), static_cast<DWORD>(data.size()), &needed)
              : GetPrinterDataA(printer, const_cast<LPSTR>(kValue), &type, data.data(), static_cast<DWORD>(data.size()),
                                &needed);
      if (result != ERROR_MORE_DATA) break;
      data.assign(needed, 0);
    }
    if (result == ERROR_FILE_NOT_FOUND) continue;
    if (result != ERROR_SUCCESS) {
      snapshot.LeaveOut("the settings name of printer \"" + Utf8(name) + "\"", result);
      continue;
    }
    const std::string value = RegistryValue("\"SubKey\"", type, data.data(), needed, true);
    keys.push_back(Field(key ? "DsUser" : "PrinterDriverData", "[" + value + "]"));
  }
  ClosePrinter(printer);
  return Object(keys);
}

void ReadPrinters(Snapshot& snapshot) {
  std::vector<BYTE> block;
  DWORD count = 0;
  auto enumerate = [&count](LPBYTE b, DWORD size, LPDWORD needed) {
    return EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 2, b, size, needed, &count);
  };
  if (!Fetch(enumerate, block)) return snapshot.LeaveOut("the printers", GetLastError());
  const auto* printers = reinterpret_cast<const PRINTER_INFO_2W*>(block.data());
  for (DWORD i = 0; i < count && !block.empty(); ++i) {
    const PRINTER_INFO_2W& p = printers[i];
    // Only how many jobs wait: no document names leave the machine.
    std::vector<std::string> jobs;
    for (DWORD j = 0; j < p.cJobs; ++j) jobs.push_back(Object({Field("id", Number(++snapshot.jobs))}));
    std::vector<std::string> fields = {Field("name", Name(p.pPrinterName)),
                                       Field("shareName", Name(p.pShareName)),
                                       Field("port", Name(p.pPortName)),
                                       Field("driver", Name(p.pDriverName)),
                                       Field("comment", Name(p.pComment)),
                                       Field("location", Name(p.pLocation)),
                                       Field("sepFile", Name(p.pSepFile)),
                                       Field("printProcessor", Name(p.pPrintProcessor)),
                                       Field("datatype", Name(p.pDatatype)),
                                       Field("parameters", Name(p.pParameters)),
                                       Field("attributes", Number(p.Attributes)),
                                       Field("priority", Number(p.Priority)),
                                       Field("defaultPriority", Number(p.DefaultPriority)),
                                       Field("startTime", Number(p.StartTime)),
                                       Field("untilTime", Number(p.UntilTime)),
                                       Field("status", Number(p.Status)),
                                       Field("averagePpm", Number(p.AveragePPM)),
                                       Field("jobs", List(jobs, ""))};
    if (p.pPrinterName && *p.pPrinterName) {
      const std::string data = PrinterData(snapshot, p.pPrinterName);
      if (!data.empty()) fields.push_back(Field("data", data));
    }
    snapshot.printers.push_back(Object(fields));
  }
}

void ReadDefaultPrinter(Snapshot& snapshot) {
  DWORD size = 0;
  snapshot.defaultPrinter = "null";
  if (GetDefaultPrinterW(nullptr, &size) || GetLastError() != ERROR_INSUFFICIENT_BUFFER) return;
  std::wstring name(size, L'\0');
  if (!GetDefaultPrinterW(&name[0], &size)) return snapshot.LeaveOut("the default printer", GetLastError());
  snapshot.defaultPrinter = Quote(name.c_str());
}

void ReadDriverDirectory(Snapshot& snapshot) {
  std::vector<BYTE> block;
  LPWSTR environment = const_cast<LPWSTR>(X64Modules.Environment);
  auto query = [environment](LPBYTE b, DWORD size, LPDWORD needed) {
    return GetPrinterDriverDirectoryW(nullptr, environment, 1, b, size, needed);
  };
  if (!Fetch(query, block) || block.size() < 2) {
    snapshot.LeaveOut("the printer driver directory", GetLastError());
    return;
  }
  snapshot.driverDirectory = reinterpret_cast<LPCWSTR>(block.data());
  while (!snapshot.driverDirectory.empty() && snapshot.driverDirectory.back() == L'\\') {
    snapshot.driverDirectory.pop_back();
  }
  snapshot.environment =
      Object({Field("name", Quote(X64Modules.Environment)), Field("driverDirectory", Quote(snapshot.driverDirectory))});
  // Staged files lie in the directory itself; under 3\ lie every driver's
  // files, of which the product's are the installer's concern (the drivers'
  // own files are added with the drivers).
  const std::vector<std::wstring> product = {X64Modules.DriverFile, X64Modules.UiFile, ProductHelpFile};
  if (!snapshot.AddFolder(snapshot.driverDirectory)) {
    snapshot.LeaveOut("the listing of " + Utf8(snapshot.driverDirectory), GetLastError());
  }
  if (!snapshot.AddFolder(snapshot.driverDirectory + L"\\3", &product)) {
    snapshot.LeaveOut("the listing of " + Utf8(snapshot.driverDirectory + L"\\3"), GetLastError());
  }
}

}  // namespace

void ReadSpooler(Snapshot& snapshot) {
  ReadService(snapshot);
  ReadDriverDirectory(snapshot);
  ReadMonitors(snapshot);
  ReadDrivers(snapshot);
  ReadPrinters(snapshot);
  ReadDefaultPrinter(snapshot);
}

}  // namespace vexsnap
