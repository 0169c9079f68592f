// Printers: adding and its refusals, handles and their rights, level 2 get
// and set, purge, deleting with handles open, printer data, and every call
// while the spooler service is stopped.
#include "spooler_fixture.h"

using namespace conformance;

namespace {

const WCHAR kDriver[] = TEXT("Conformance Printer Driver");

HANDLE AddCasePrinter(PrinterSpec& spec) {
  PoisonError();
  return AddPrinterW(nullptr, 2, spec.Bytes());
}

HANDLE Open(const WCHAR* name, DWORD access) {
  PRINTER_DEFAULTSW defaults = {nullptr, nullptr, access};
  HANDLE printer = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(kPoison));
  PoisonError();
  return OpenPrinterW(const_cast<LPWSTR>(name), &printer, access != 0 ? &defaults : nullptr) ? printer : nullptr;
}

// PRINTER_INFO_2W of the printer, or empty.
std::vector<BYTE> PrinterInfo(HANDLE printer) {
  return Fetch([printer](LPBYTE block, DWORD size, LPDWORD needed, LPDWORD) {
    return GetPrinterW(printer, 2, block, size, needed);
  });
}

bool PrinterListed(const WCHAR* name, DWORD* status = nullptr) {
  DWORD count = 0;
  std::vector<BYTE> block =
      Fetch([](LPBYTE b, DWORD size, LPDWORD needed,
               LPDWORD returned) { return EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, b, size, needed, returned); },
            &count);
  const auto* printers = reinterpret_cast<const PRINTER_INFO_2W*>(block.data());
  for (DWORD i = 0; i < count; ++i) {
    if (!SameText(printers[i].pPrinterName, name)) continue;
    if (status != nullptr) *status = printers[i].Status;
    return true;
  }
  return false;
}

// A driver for the case's printers; removed again when the case ends.
struct CaseDriver {
  CaseDriver() { ok(AddDummyDriver(kDriver, TEXT("cpdrv")), "driver not added: %lu", GetLastError()); }
  ~CaseDriver() { RemoveDriver(kDriver); }
};

}  // namespace

// Each link of the new printer is checked: port 1796, driver 1797 (before
// the print processor), print processor 1798, and the name 1802.
CONFORMANCE_CASE(add_printer_refusals) {
  CaseDriver driver;
  PrinterSpec existing(TEXT("Conformance Existing"), TEXT("FILE:"), kDriver);
  HANDLE first = AddCasePrinter(existing);
  ok(first != nullptr, "AddPrinterW failed with %lu", GetLastError());
  if (first != nullptr) ClosePrinter(first);
  const struct {
    const WCHAR* name;
    const WCHAR* port;
    const WCHAR* driver;
    const WCHAR* processor;
    DWORD error;
    const char* wine;  // how Wine differs, if it does: it then adds the printer
  } refusals[] = {
      {TEXT("Conformance Refused"), TEXT("NOSUCHPORT:"), kDriver, TEXT("winprint"), ERROR_UNKNOWN_PORT,
       "AddPrinterW accepts an unknown port"},
      {TEXT("Conformance Refused"), TEXT("FILE:"), TEXT("No Such Driver"), TEXT("winprint"),
       ERROR_UNKNOWN_PRINTER_DRIVER, nullptr},
      {TEXT("Conformance Refused"), TEXT("FILE:"), TEXT("No Such Driver"), TEXT("noprint"),
       ERROR_UNKNOWN_PRINTER_DRIVER, nullptr},
      {TEXT("Conformance Refused"), TEXT("FILE:"), kDriver, TEXT("noprint"), ERROR_UNKNOWN_PRINTPROCESSOR, nullptr},
      {TEXT("Conformance Existing"), TEXT("FILE:"), kDriver, TEXT("winprint"), ERROR_PRINTER_ALREADY_EXISTS,
       "AddPrinterW of an existing name succeeds"},
  };
  for (const auto& r : refusals) {
    PrinterSpec spec(r.name, r.port, r.driver);
    spec.info.pPrintProcessor = const_cast<LPWSTR>(r.processor);
    HANDLE printer = AddCasePrinter(spec);
    if (r.wine != nullptr && WineDiffers(r.wine)) {
      ok(printer != nullptr, "AddPrinterW failed with %lu", GetLastError());
    } else {
      ok(printer == nullptr, "printer added despite %lu", r.error);
      ok_error(r.error);
    }
    if (printer != nullptr) {
      if (r.error != ERROR_PRINTER_ALREADY_EXISTS) DeletePrinter(printer);
      ClosePrinter(printer);
    }
  }
  ok(RemovePrinter(TEXT("Conformance Existing")), "the printer was not deleted");
}

// No data type is the print processor's default, RAW.
CONFORMANCE_CASE(add_printer_without_a_data_type_takes_raw) {
  // Wine's half-made printer could not even be deleted afterwards.
  if (WineDiffers("AddPrinterW with no data type fails with 1801 and leaves a printer it cannot open")) return;
  CaseDriver driver;
  PrinterSpec spec(TEXT("Conformance No Datatype"), TEXT("LPT1:"), kDriver);
  spec.info.pDatatype = nullptr;
  HANDLE printer = AddCasePrinter(spec);
  ok(printer != nullptr, "AddPrinterW failed with %lu", GetLastError());
  std::vector<BYTE> block = PrinterInfo(printer);
  ok(!block.empty() && SameText(reinterpret_cast<PRINTER_INFO_2W*>(block.data())->pDatatype, TEXT("RAW")),
     "the data type is not RAW");
  if (printer != nullptr) {
    ok(DeletePrinter(printer), "DeletePrinter failed with %lu", GetLastError());
    ClosePrinter(printer);
  }
}

// Unknown names are 1801; NULL opens the print server; rights beyond the
// caller's are refused with 5, and a handle without PRINTER_ACCESS_ADMINISTER
// or DELETE cannot change or delete the printer.
CONFORMANCE_CASE(open_printer_names_and_rights) {
  HANDLE handle = Open(TEXT("Conformance No Such Printer"), 0);
  ok(handle == nullptr, "an unknown printer was opened");
  ok_error(ERROR_INVALID_PRINTER_NAME);
  handle = Open(nullptr, 0);
  ok(handle != nullptr, "the print server was not opened: %lu", GetLastError());
  if (handle != nullptr) ok(ClosePrinter(handle), "ClosePrinter of the server failed");

  CaseDriver driver;
  PrinterSpec spec(TEXT("Conformance Rights"), TEXT("FILE:"), kDriver);
  HANDLE added = AddCasePrinter(spec);
  ok(added != nullptr, "AddPrinterW failed with %lu", GetLastError());
  if (added != nullptr) ClosePrinter(added);

  // A specific right no printer defines is granted to nobody.
  handle = Open(TEXT("Conformance Rights"), PRINTER_ALL_ACCESS | 0x80);
  if (WineDiffers("OpenPrinterW makes no access check")) {
    ok(handle != nullptr, "OpenPrinterW failed with %lu", GetLastError());
  } else {
    ok(handle == nullptr, "an undefined right was granted");
    ok_error(ERROR_ACCESS_DENIED);
  }
  if (handle != nullptr) ClosePrinter(handle);

  handle = Open(TEXT("Conformance Rights"), 0);  // PRINTER_ACCESS_USE
  ok(handle != nullptr, "OpenPrinterW failed with %lu", GetLastError());
  DWORD value = 1;
  const DWORD set =
      SetPrinterDataExA(handle, "DsUser", "conformance", REG_DWORD, reinterpret_cast<LPBYTE>(&value), sizeof(value));
  PoisonError();
  const BOOL deleted = DeletePrinter(handle);
  if (WineDiffers("printer handles opened for use may change and delete the printer")) {
    ok(set == ERROR_SUCCESS, "SetPrinterDataExA gave %lu", set);
    ok(deleted, "DeletePrinter failed with %lu", GetLastError());
  } else {
    ok(set == ERROR_ACCESS_DENIED, "SetPrinterDataExA gave %lu", set);
    ok(!deleted, "deleted through a handle opened for use");
    ok_error(ERROR_ACCESS_DENIED);
  }
  if (handle != nullptr) ClosePrinter(handle);
  if (!deleted) ok(RemovePrinter(TEXT("Conformance Rights")), "the printer was not deleted");
}

// GetPrinterW sizes level 2 and fills it; SetPrinterW level 2 changes what
// it is given and checks its links as AddPrinterW does; level 0 purges.
CONFORMANCE_CASE(get_and_set_printer_level_2_and_purge) {
  CaseDriver driver;
  PrinterSpec spec(TEXT("Conformance Settings"), TEXT("FILE:"), kDriver);
  HANDLE printer = AddCasePrinter(spec);
  ok(printer != nullptr, "AddPrinterW failed with %lu", GetLastError());
  if (printer == nullptr) return;

  DWORD needed = kPoison;
  PoisonError();
  ok(!GetPrinterW(printer, 2, nullptr, 0, &needed), "sizing call succeeded");
  ok_error(ERROR_INSUFFICIENT_BUFFER);
  std::vector<BYTE> block(needed != kPoison ? needed : 0, 0xCC);
  PoisonError();
  ok(block.empty() || !GetPrinterW(printer, 2, block.data(), needed - 1, &needed), "short block taken");
  ok_error(ERROR_INSUFFICIENT_BUFFER);
  if (!block.empty() && block[0] != 0xCC) {
    ok(WineDiffers("GetPrinterW writes into a block too short for level 2"), "a short block was written");
  }
  block = PrinterInfo(printer);
  ok(!block.empty(), "GetPrinterW failed");
  if (block.empty()) return;
  auto* info = reinterpret_cast<PRINTER_INFO_2W*>(block.data());
  ok(SameText(info->pPrinterName, TEXT("Conformance Settings")) && SameText(info->pPortName, TEXT("FILE:")) &&
         SameText(info->pDriverName, kDriver),
     "name, port or driver differ");
  const BYTE* stringsFrom = block.data() + sizeof(PRINTER_INFO_2W);
  for (const WCHAR* s : {info->pPrinterName, info->pPortName, info->pDriverName, info->pPrintProcessor}) {
    const BYTE* at = reinterpret_cast<const BYTE*>(s);
    ok(at >= stringsFrom && at < block.data() + block.size(), "a string lies outside the block");
  }

  info->pComment = const_cast<LPWSTR>(TEXT("changed by a case"));
  PoisonError();
  ok(SetPrinterW(printer, 2, block.data(), 0), "SetPrinterW failed with %lu", GetLastError());
  std::vector<BYTE> after = PrinterInfo(printer);
  ok(!after.empty() && SameText(reinterpret_cast<PRINTER_INFO_2W*>(after.data())->pComment, TEXT("changed by a case")),
     "the comment did not change");

  info->pDriverName = const_cast<LPWSTR>(TEXT("No Such Driver"));
  PoisonError();
  const BOOL changed = SetPrinterW(printer, 2, block.data(), 0);
  if (WineDiffers("SetPrinterW level 2 takes an unknown driver")) {
    ok(changed, "SetPrinterW failed with %lu", GetLastError());
  } else {
    ok(!changed, "SetPrinterW took an unknown driver");
    ok_error(ERROR_UNKNOWN_PRINTER_DRIVER);
  }

  PoisonError();
  const BOOL purged = SetPrinterW(printer, 0, nullptr, PRINTER_CONTROL_PURGE);
  if (WineDiffers("SetPrinterW level 0 is not implemented (124)")) {
    ok(!purged, "purged");
    ok_error(ERROR_INVALID_LEVEL);
  } else {
    ok(purged, "purge failed with %lu", GetLastError());
    after = PrinterInfo(printer);
    ok(!after.empty() && reinterpret_cast<PRINTER_INFO_2W*>(after.data())->cJobs == 0, "jobs left");
  }
  ok(DeletePrinter(printer), "DeletePrinter failed with %lu", GetLastError());
  ClosePrinter(printer);
}

// A printer deleted while handles are open is gone from new opens at once,
// listed as pending deletion until its last handle closes, and no longer
// the default printer.
CONFORMANCE_CASE(delete_printer_with_handles_open) {
  CaseDriver driver;
  PrinterSpec spec(TEXT("Conformance Deleted"), TEXT("LPT1:"), kDriver);
  HANDLE added = AddCasePrinter(spec);
  ok(added != nullptr, "AddPrinterW failed with %lu", GetLastError());
  HANDLE other = Open(TEXT("Conformance Deleted"), 0);
  ok(SetDefaultPrinterW(TEXT("Conformance Deleted")), "SetDefaultPrinterW failed with %lu", GetLastError());

  PoisonError();
  ok(DeletePrinter(added), "DeletePrinter failed with %lu", GetLastError());
  HANDLE late = Open(TEXT("Conformance Deleted"), 0);
  if (WineDiffers("OpenPrinterW still opens a printer DeletePrinter removed")) {
    ok(late != nullptr, "OpenPrinterW failed with %lu", GetLastError());
  } else {
    ok(late == nullptr, "a deleted printer was opened");
    ok_error(ERROR_INVALID_PRINTER_NAME);
  }
  if (late != nullptr) ClosePrinter(late);
  WCHAR name[64];
  DWORD size = 64;
  PoisonError();
  ok(!GetDefaultPrinterW(name, &size), "the deleted printer is still the default");
  ok_error(ERROR_FILE_NOT_FOUND);

  DWORD status = 0;
  const bool listed = PrinterListed(TEXT("Conformance Deleted"), &status);
  if (WineDiffers("DeletePrinter removes the printer at once, with handles open")) {
    ok(!listed, "the deleted printer is listed");
  } else {
    ok(listed && (status & PRINTER_STATUS_PENDING_DELETION), "not listed as pending deletion");
  }
  if (added != nullptr) ClosePrinter(added);
  if (other != nullptr) ClosePrinter(other);
  ok(!PrinterListed(TEXT("Conformance Deleted")), "listed after its last handle closed");
}

// Plain values live under "PrinterDriverData", the Ex calls' under their
// key; a missing value is 2 and a short buffer 234 with the size needed.
CONFORMANCE_CASE(printer_data_plain_and_under_keys) {
  CaseDriver driver;
  PrinterSpec spec(TEXT("Conformance Data"), TEXT("FILE:"), kDriver);
  HANDLE printer = AddCasePrinter(spec);
  ok(printer != nullptr, "AddPrinterW failed with %lu", GetLastError());
  if (printer == nullptr) return;
  char text[] = "Ravel";
  DWORD number = 0x2446;
  ok(SetPrinterDataA(printer, const_cast<LPSTR>("Plain"), REG_SZ, reinterpret_cast<LPBYTE>(text), sizeof(text)) ==
         ERROR_SUCCESS,
     "SetPrinterDataA failed");
  ok(SetPrinterDataExA(printer, "DsUser", "Keyed", REG_DWORD, reinterpret_cast<LPBYTE>(&number), sizeof(number)) ==
         ERROR_SUCCESS,
     "SetPrinterDataExA failed");

  const struct {
    const char* key;  // null: GetPrinterDataA
    const char* value;
    DWORD result;
    DWORD type;
    DWORD size;
  } reads[] = {
      {nullptr, "Plain", ERROR_SUCCESS, REG_SZ, sizeof(text)},
      {"PrinterDriverData", "Plain", ERROR_SUCCESS, REG_SZ, sizeof(text)},
      {"DsUser", "Keyed", ERROR_SUCCESS, REG_DWORD, sizeof(number)},
      {"DsUser", "Plain", ERROR_FILE_NOT_FOUND, 0, 0},
      {nullptr, "Keyed", ERROR_FILE_NOT_FOUND, 0, 0},
      {"DsSpooler", "Keyed", ERROR_FILE_NOT_FOUND, 0, 0},
  };
  for (const auto& r : reads) {
    BYTE data[64];
    DWORD type = kPoison, needed = kPoison;
    const DWORD result = r.key == nullptr
                             ? GetPrinterDataA(printer, const_cast<LPSTR>(r.value), &type, data, sizeof(data), &needed)
                             : GetPrinterDataExA(printer, r.key, r.value, &type, data, sizeof(data), &needed);
    ok(result == r.result, "%s\\%s: %lu", r.key ? r.key : "(plain)", r.value, result);
    if (r.result != ERROR_SUCCESS) continue;
    ok(type == r.type && needed == r.size, "%s: type %lu, size %lu", r.value, type, needed);
    if (r.type == REG_SZ) ok(std::memcmp(data, text, sizeof(text)) == 0, "%s: text differs", r.value);
    if (r.type == REG_DWORD) ok(std::memcmp(data, &number, sizeof(number)) == 0, "%s: number differs", r.value);
  }
  BYTE small[2];
  DWORD type = kPoison, needed = kPoison;
  ok(GetPrinterDataA(printer, const_cast<LPSTR>("Plain"), &type, small, sizeof(small), &needed) == ERROR_MORE_DATA,
     "a short buffer was taken");
  ok(needed == sizeof(text), "needed %lu", needed);
  ok(DeletePrinter(printer), "DeletePrinter failed with %lu", GetLastError());
  ClosePrinter(printer);
}

// Every spooler call is an RPC to the spooler service: stopped, each fails
// with RPC_S_SERVER_UNAVAILABLE.
CONFORMANCE_CASE(spooler_calls_fail_while_the_service_is_stopped) {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service = OpenServiceW(manager, TEXT("Spooler"), SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS);
  ok(service != nullptr, "the spooler service was not opened: %lu", GetLastError());
  if (service == nullptr) return;
  SERVICE_STATUS status;
  QueryServiceStatus(service, &status);
  const bool wasRunning = status.dwCurrentState == SERVICE_RUNNING;
  if (wasRunning) ControlService(service, SERVICE_CONTROL_STOP, &status);
  for (int i = 0; i < 100 && QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED; ++i) {
    Sleep(50);
  }

  WCHAR name[] = TEXT("Conformance Stopped");
  const struct {
    const char* call;
    BOOL (*run)();
  } calls[] = {
      {"EnumPrintersW",
       [] {
         DWORD needed, count;
         return EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count);
       }},
      {"EnumMonitorsW",
       [] {
         DWORD needed, count;
         return EnumMonitorsW(nullptr, 1, nullptr, 0, &needed, &count);
       }},
      {"EnumPrinterDriversW",
       [] {
         DWORD needed, count;
         return EnumPrinterDriversW(nullptr, nullptr, 6, nullptr, 0, &needed, &count);
       }},
      {"GetPrinterDriverDirectoryW",
       [] {
         DWORD needed;
         return GetPrinterDriverDirectoryW(nullptr, nullptr, 1, nullptr, 0, &needed);
       }},
      {"OpenPrinterW",
       [] {
         HANDLE printer;
         return OpenPrinterW(nullptr, &printer, nullptr);
       }},
      {"DeleteMonitorW", [] { return DeleteMonitorW(nullptr, nullptr, const_cast<LPWSTR>(TEXT("None"))); }},
      {"DeletePrinterDriverExW",
       [] { return DeletePrinterDriverExW(nullptr, nullptr, const_cast<LPWSTR>(TEXT("None")), 0, 0); }},
  };
  if (WineDiffers("spooler calls work while the spooler service is stopped")) {
    // Wine's spooler runs inside the caller; there is nothing to fail.
  } else {
    for (const auto& c : calls) {
      PoisonError();
      ok(!c.run(), "%s succeeded", c.call);
      ok_error(RPC_S_SERVER_UNAVAILABLE);
    }
    PrinterSpec spec(name, TEXT("FILE:"), TEXT("None"));
    PoisonError();
    ok(AddPrinterW(nullptr, 2, spec.Bytes()) == nullptr, "AddPrinterW succeeded");
    ok_error(RPC_S_SERVER_UNAVAILABLE);
  }
  if (wasRunning) {
    ok(StartServiceW(service, 0, nullptr), "the spooler did not start again: %lu", GetLastError());
    for (int i = 0; i < 100 && QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_RUNNING; ++i) {
      Sleep(50);
    }
  }
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
}
