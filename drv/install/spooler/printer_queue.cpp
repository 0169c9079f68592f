#include "printer_queue.h"

#include "../shell/product.h"
#include "../shell/run_log.h"
#include "port_monitor.h"

namespace {

LPCWSTR ShownName(LPCWSTR name) { return name != nullptr ? name : TEXT("*"); }

// Says whether the product's port monitor is there; only the log learns it,
// since the spooler gives its own refusal for a missing port.
void LogMonitorCheck(InstallContext& context) {
  LogLine(context, TEXT("Let's check our port monitors"));
  MonitorEnumeration monitors{};
  EnumMonitorsAll(context, monitors);
  if (FindProductMonitor(monitors) >= 0) {
    LogLine(context, TEXT("Port monitor is found"));
  } else {
    LogNoProductMonitor(context);
    if (monitors.Buffer && monitors.Count > 0) {
      LogMonitorList(context, monitors);
    } else {
      LogLine(context, TEXT("BTW, there is no port monitors on this system."));
    }
  }
}

}  // namespace

void GetPrinterInfo2(HANDLE printer, PrinterInformation& information) {
  auto get = [printer](LPBYTE block, DWORD size, LPDWORD needed) {
    return GetPrinterW(printer, 2, block, size, needed);
  };
  FetchSpoolerBlock(get, information.Buffer, information.Needed);
}

HANDLE AddPrinterLevel2(PRINTER_INFO_2W& info) { return AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info)); }

BOOL PurgeAndDeletePrinter(HANDLE printer) {
  SetPrinterW(printer, 0, nullptr, PRINTER_CONTROL_PURGE);
  return DeletePrinter(printer);
}

void DeleteOnePrinter(InstallContext& context, LPCWSTR name) {
  LogLine(context, TEXT(">DeletePrinter(%s)"), ShownName(name));
  LogDepthScope depth(context, 1);
  // No name would open the print server itself, never a printer to delete.
  if (name == nullptr || name[0] == 0) {
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    LogError(context, ErrorOpenPrinter, ShownName(name));
    return;
  }
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, DELETE | PRINTER_ACCESS_ADMINISTER};
  HANDLE printer = nullptr;
  if (!OpenPrinterW(const_cast<LPWSTR>(name), &printer, &defaults)) {
    LogError(context, ErrorOpenPrinter, name);
    return;
  }
  if (PurgeAndDeletePrinter(printer)) {
    LogLine(context, TEXT("OK"));
  } else {
    LogError(context, ErrorDeletePrinter, name);
  }
  ClosePrinter(printer);
}

HANDLE AddProductPrinter(InstallContext& context, LPCWSTR name) {
  LogLine(context, TEXT(">AddPrinter(%s)"), ShownName(name));
  LogDepthScope depth(context, 1);
  LogMonitorCheck(context);

  // The spooler only reads these texts; the comment is empty, not absent.
  WCHAR comment[1] = {0};
  PRINTER_INFO_2W info{};
  info.pPrinterName = const_cast<LPWSTR>(name);
  info.pPortName = const_cast<LPWSTR>(ProductMonitorName);
  info.pDriverName = const_cast<LPWSTR>(ProductDriverName);
  info.pComment = comment;
  info.pPrintProcessor = const_cast<LPWSTR>(TEXT("WinPrint"));
  HANDLE printer = AddPrinterLevel2(info);
  if (printer != nullptr) {
    LogLine(context, TEXT("OK :)"));
  } else {
    LogError(context, ErrorAddPrinter, ShownName(name));
  }
  return printer;
}
