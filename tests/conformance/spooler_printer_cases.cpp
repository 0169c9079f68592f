// Printers: adding and its refusals, handles and their rights, level 2 get
// and set, purge, deleting with handles open, printer data, and every call
// while the spooler service is stopped.
#include "spooler_fixture.h"

using namespace conformance;

namespace {

const WCHAR kDriver[] = TEXT("Conformance Printer Driver");

HANDLE Open(const WCHAR* name, DWORD access) {
  PRINTER_DEFAULTSW defaults = {nullptr, nullptr, access};
  HANDLE printer = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(kPoison));
  return OpenPrinterW(const_cast<LPWSTR>(name), &printer, access != 0 ? &defaults : nullptr) ? printer : nullptr;
}

// PRINTER_INFO_2W of the printer, or empty.
std::vector<BYTE> PrinterInfo(HANDLE printer) {
  return Fetch([printer](LPBYTE block, DWORD size, LPDWORD needed, LPDWORD) {
    return GetPrinterW(printer, 2, block, size, needed);
  });
}
PRINTER_INFO_2W* Info(std::vector<BYTE>& block) { return reinterpret_cast<PRINTER_INFO_2W*>(block.data()); }

bool PrinterListed(const WCHAR* name, DWORD* status = nullptr) {
  DWORD count = 0;
  std::vector<BYTE> block =
      Fetch([](LPBYTE b, DWORD size, LPDWORD needed,
               LPDWORD returned) { return EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, b, size, needed, returned); },
            &count);
  for (DWORD i = 0; i < count; ++i) {
    if (!SameName(Info(block)[i].pPrinterName, name)) continue;
    if (status != nullptr) *status = Info(block)[i].Status;
    return true;
  }
  return false;
}

}  // namespace

// Each link of the new printer is checked: port 1796, driver 1797 (before
// the print processor), print processor 1798, and the name 1802.
CONFORMANCE_CASE(add_printer_refusals) {
  ScratchDriver driver(kDriver);
  ScratchPrinter existing(TEXT("Conformance Existing"), TEXT("FILE:"), kDriver);
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
    const Row row("%lu, processor %s", r.error, Narrow(r.processor).c_str());
    PrinterSpec spec(r.name, r.port, r.driver);
    spec.info.pPrintProcessor = const_cast<LPWSTR>(r.processor);
    HANDLE printer = expect(AddPrinterW(nullptr, 2, spec.Bytes()), r.wine && WineDiffers(r.wine) ? 0 : r.error);
    if (printer != nullptr && r.error != ERROR_PRINTER_ALREADY_EXISTS) DeletePrinter(printer);
    if (printer != nullptr) ClosePrinter(printer);
  }
}

// No data type is the print processor's default, RAW.
CONFORMANCE_CASE(add_printer_without_a_data_type_takes_raw) {
  // Wine's half-made printer could not even be deleted afterwards.
  if (WineDiffers("AddPrinterW with no data type fails with 1801 and leaves a printer it cannot open")) return;
  ScratchDriver driver(kDriver);
  ScratchPrinter printer(TEXT("Conformance No Datatype"), TEXT("LPT1:"), kDriver, nullptr);
  std::vector<BYTE> block = PrinterInfo(printer.handle);
  ok(!block.empty() && SameName(Info(block)->pDatatype, TEXT("RAW")), "the data type is not RAW");
}

// GetPrinterW sizes level 2 and fills it; SetPrinterW level 2 changes what
// it is given and checks its links as AddPrinterW does; level 0 purges.
CONFORMANCE_CASE(get_and_set_printer_level_2_and_purge) {
  ScratchDriver driver(kDriver);
  ScratchPrinter printer(TEXT("Conformance Settings"), TEXT("FILE:"), kDriver);
  DWORD needed = kPoison;
  expect(GetPrinterW(printer.handle, 2, nullptr, 0, &needed), ERROR_INSUFFICIENT_BUFFER);
  if (needed == kPoison) return;
  std::vector<BYTE> block(needed, 0xCC);
  expect(GetPrinterW(printer.handle, 2, block.data(), needed - 1, &needed), ERROR_INSUFFICIENT_BUFFER);
  if (block[0] != 0xCC) ok(WineDiffers("GetPrinterW writes into a block too short for level 2"), "a short block");
  block = PrinterInfo(printer.handle);
  ok(!block.empty(), "GetPrinterW failed");
  if (block.empty()) return;
  PRINTER_INFO_2W* info = Info(block);
  ok(SameName(info->pPrinterName, TEXT("Conformance Settings")) && SameName(info->pPortName, TEXT("FILE:")) &&
         SameName(info->pDriverName, kDriver),
     "name, port or driver differ");
  for (const WCHAR* s : {info->pPrinterName, info->pPortName, info->pDriverName, info->pPrintProcessor}) {
    const BYTE* at = reinterpret_cast<const BYTE*>(s);
    ok(at >= block.data() + sizeof(PRINTER_INFO_2W) && at < block.data() + block.size(), "a string lies outside");
  }

  info->pComment = const_cast<LPWSTR>(TEXT("changed by a case"));
  expect(SetPrinterW(printer.handle, 2, block.data(), 0), 0);
  std::vector<BYTE> after = PrinterInfo(printer.handle);
  ok(!after.empty() && SameName(Info(after)->pComment, TEXT("changed by a case")), "the comment did not change");

  // EnumPrintersW: the sizing call counts nothing, a block one byte short is
  // refused, and the records come first with their strings after them.
  DWORD count = kPoison;
  needed = kPoison;
  expect(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count), ERROR_INSUFFICIENT_BUFFER);
  ok(count == 0 && needed != kPoison, "the sizing call gave %lu printers, %lu bytes", count, needed);
  std::vector<BYTE> all(needed != kPoison ? needed : 1);
  expect(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, all.data(), needed - 1, &needed, &count),
         ERROR_INSUFFICIENT_BUFFER);
  expect(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, all.data(), needed, &needed, &count), 0);
  const PRINTER_INFO_2W* listed = nullptr;
  for (DWORD i = 0; i < count && count != kPoison; ++i) {
    const PRINTER_INFO_2W& r = Info(all)[i];
    for (const WCHAR* s : {r.pPrinterName, r.pPortName, r.pComment}) {
      const BYTE* at = reinterpret_cast<const BYTE*>(s);
      ok(!s || (at >= all.data() + count * sizeof(PRINTER_INFO_2W) && at < all.data() + all.size()), "%lu outside", i);
    }
    if (SameName(r.pPrinterName, TEXT("Conformance Settings"))) listed = &r;
  }
  ok(listed && SameName(listed->pPortName, TEXT("FILE:")) && SameName(listed->pComment, TEXT("changed by a case")) &&
         listed->pDevMode && SameName(listed->pDevMode->dmDeviceName, TEXT("Conformance Settings")),
     "the printer is not listed as it is");
  info->pDriverName = const_cast<LPWSTR>(TEXT("No Such Driver"));
  expect(SetPrinterW(printer.handle, 2, block.data(), 0),
         WineDiffers("SetPrinterW level 2 takes an unknown driver") ? 0 : ERROR_UNKNOWN_PRINTER_DRIVER);

  const bool noPurge = WineDiffers("SetPrinterW level 0 is not implemented (124)");
  expect(SetPrinterW(printer.handle, 0, nullptr, PRINTER_CONTROL_PURGE), noPurge ? ERROR_INVALID_LEVEL : 0);
  after = PrinterInfo(printer.handle);
  ok(noPurge || (!after.empty() && Info(after)->cJobs == 0), "jobs left");
  expect(DeletePrinter(printer.handle), 0);
}

// A printer deleted while handles are open is gone from new opens at once,
// listed as pending deletion until its last handle closes, and no longer
// the default printer.
CONFORMANCE_CASE(delete_printer_with_handles_open) {
  ScratchDriver driver(kDriver);
  ScratchPrinter printer(TEXT("Conformance Deleted"), TEXT("LPT1:"), kDriver);
  HANDLE other = Open(TEXT("Conformance Deleted"), 0);
  // The default is named without regard to case; a short buffer is told the
  // characters needed with the terminator.
  expect(SetDefaultPrinterW(TEXT("Conformance No Such Printer")), ERROR_INVALID_PRINTER_NAME);
  expect(SetDefaultPrinterW(TEXT("CONFORMANCE DELETED")), 0);
  WCHAR name[64];
  DWORD size = 8;
  expect(GetDefaultPrinterW(name, &size), ERROR_INSUFFICIENT_BUFFER);
  ok(size == 20, "size %lu", size);
  expect(GetDefaultPrinterW(name, &size), 0);
  const bool asGiven = WineDiffers("SetDefaultPrinterW keeps the caller's spelling of the name");
  ok(SameText(name, asGiven ? TEXT("CONFORMANCE DELETED") : TEXT("Conformance Deleted")), "the default is %s",
     Narrow(name).c_str());
  expect(SetDefaultPrinterW(TEXT("Conformance Deleted")), 0);  // Wine's DeletePrinter matches this spelling only
  expect(DeletePrinter(printer.handle), 0);
  HANDLE late =
      expect(Open(TEXT("Conformance Deleted"), 0),
             WineDiffers("OpenPrinterW still opens a printer DeletePrinter removed") ? 0 : ERROR_INVALID_PRINTER_NAME);
  if (late != nullptr) ClosePrinter(late);
  size = 64;
  expect(GetDefaultPrinterW(name, &size), ERROR_FILE_NOT_FOUND);
  DWORD status = 0;
  const bool listed = PrinterListed(TEXT("Conformance Deleted"), &status);
  if (WineDiffers("DeletePrinter removes the printer at once, with handles open")) {
    ok(!listed, "the deleted printer is listed");
  } else {
    ok(listed && (status & PRINTER_STATUS_PENDING_DELETION), "not listed as pending deletion");
  }
  ClosePrinter(printer.handle);
  printer.handle = nullptr;
  if (other != nullptr) ClosePrinter(other);
  ok(!PrinterListed(TEXT("Conformance Deleted")), "listed after its last handle closed");
}

// Unknown names are 1801; NULL opens the print server. Plain values live
// under "PrinterDriverData", the Ex calls' under their key; a missing value
// is 2 and a short buffer 234 with the size needed. Rights beyond the
// caller's are refused with 5, and a handle without PRINTER_ACCESS_ADMINISTER
// or DELETE cannot change or delete the printer.
CONFORMANCE_CASE(printer_data_and_handle_rights) {
  expect(Open(TEXT("Conformance No Such Printer"), 0), ERROR_INVALID_PRINTER_NAME);
  expect(ClosePrinter(expect(Open(nullptr, 0), 0)), 0);
  ScratchDriver driver(kDriver);
  ScratchPrinter printer(TEXT("Conformance Data"), TEXT("FILE:"), kDriver);
  char text[] = "Ravel";
  DWORD number = 0x2446;
  ok(SetPrinterDataA(printer.handle, const_cast<LPSTR>("Plain"), REG_SZ, reinterpret_cast<LPBYTE>(text),
                     sizeof(text)) == ERROR_SUCCESS,
     "SetPrinterDataA failed");
  ok(SetPrinterDataExA(printer.handle, "DsUser", "Keyed", REG_DWORD, reinterpret_cast<LPBYTE>(&number),
                       sizeof(number)) == ERROR_SUCCESS,
     "SetPrinterDataExA failed");
  const struct {
    const char* key;  // null: GetPrinterDataA
    const char* value;
    DWORD result;
    DWORD type;
    const void* data;
    DWORD size;
  } reads[] = {
      {nullptr, "Plain", ERROR_SUCCESS, REG_SZ, text, sizeof(text)},
      {"PrinterDriverData", "Plain", ERROR_SUCCESS, REG_SZ, text, sizeof(text)},
      {"DsUser", "Keyed", ERROR_SUCCESS, REG_DWORD, &number, sizeof(number)},
      {"DsUser", "Plain", ERROR_FILE_NOT_FOUND, 0, nullptr, 0},
      {nullptr, "Keyed", ERROR_FILE_NOT_FOUND, 0, nullptr, 0},
      {"DsSpooler", "Keyed", ERROR_FILE_NOT_FOUND, 0, nullptr, 0},
      {nullptr, "Plain", ERROR_MORE_DATA, kPoison, nullptr, sizeof(text)},  // into 2 bytes
  };
  for (const auto& r : reads) {
    const Row row("%s\\%s", r.key ? r.key : "(plain)", r.value);
    BYTE data[64];
    DWORD type = kPoison, needed = kPoison, room = r.result == ERROR_MORE_DATA ? 2 : sizeof(data);
    const DWORD result = r.key == nullptr
                             ? GetPrinterDataA(printer.handle, const_cast<LPSTR>(r.value), &type, data, room, &needed)
                             : GetPrinterDataExA(printer.handle, r.key, r.value, &type, data, room, &needed);
    ok(result == r.result, "gave %lu", result);
    if (r.size != 0) ok(needed == r.size, "size %lu", needed);
    if (r.data != nullptr) ok(type == r.type && std::memcmp(data, r.data, r.size) == 0, "type %lu or data", type);
  }

  // A specific right no printer defines is granted to nobody.
  HANDLE handle = expect(Open(TEXT("Conformance Data"), PRINTER_ALL_ACCESS | 0x80),
                         WineDiffers("OpenPrinterW makes no access check") ? 0 : ERROR_ACCESS_DENIED);
  if (handle != nullptr) ClosePrinter(handle);
  handle = expect(Open(TEXT("Conformance Data"), 0), 0);  // PRINTER_ACCESS_USE
  const bool mayChange = WineDiffers("printer handles opened for use may change and delete the printer");
  ok(SetPrinterDataExA(handle, "DsUser", "conformance", REG_DWORD, reinterpret_cast<LPBYTE>(&number), sizeof(number)) ==
         (mayChange ? ERROR_SUCCESS : ERROR_ACCESS_DENIED),
     "SetPrinterDataExA through a handle opened for use");
  expect(DeletePrinter(handle), mayChange ? 0 : ERROR_ACCESS_DENIED);
  if (handle != nullptr) ClosePrinter(handle);
}

namespace {

DWORD g_needed, g_count;
HANDLE g_printer;

void SetSpooler(SC_HANDLE service, DWORD state) {
  SERVICE_STATUS status;
  if (state == SERVICE_STOPPED) ControlService(service, SERVICE_CONTROL_STOP, &status);
  if (state == SERVICE_RUNNING) expect(StartServiceW(service, 0, nullptr), 0);
  for (int i = 0; i < 100 && QueryServiceStatus(service, &status) && status.dwCurrentState != state; ++i) Sleep(50);
}

}  // namespace

// Every spooler call is an RPC to the spooler service: stopped, each fails
// with RPC_S_SERVER_UNAVAILABLE.
CONFORMANCE_CASE(spooler_calls_fail_while_the_service_is_stopped) {
  // Wine's spooler runs inside the caller; there is nothing to fail.
  if (WineDiffers("spooler calls work while the spooler service is stopped")) return;
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service = expect(OpenServiceW(manager, TEXT("Spooler"), SERVICE_START | SERVICE_STOP), 0);
  SetSpooler(service, SERVICE_STOPPED);
  BOOL(*const calls[])
  () = {
      [] { return EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &g_needed, &g_count); },
      [] { return EnumMonitorsW(nullptr, 1, nullptr, 0, &g_needed, &g_count); },
      [] { return EnumPrinterDriversW(nullptr, nullptr, 6, nullptr, 0, &g_needed, &g_count); },
      [] { return GetPrinterDriverDirectoryW(nullptr, nullptr, 1, nullptr, 0, &g_needed); },
      [] { return OpenPrinterW(nullptr, &g_printer, nullptr); },
      [] { return DeleteMonitorW(nullptr, nullptr, const_cast<LPWSTR>(TEXT("None"))); },
      [] { return DeletePrinterDriverExW(nullptr, nullptr, const_cast<LPWSTR>(TEXT("None")), 0, 0); },
      [] {
        return static_cast<BOOL>(
            AddPrinterW(nullptr, 2, PrinterSpec(TEXT("Stopped"), TEXT("FILE:"), TEXT("None")).Bytes()) != 0);
      },
  };
  for (const auto& call : calls) {
    const Row row("call %d", static_cast<int>(&call - calls));
    expect(call(), RPC_S_SERVER_UNAVAILABLE);
  }
  SetSpooler(service, SERVICE_RUNNING);
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
}
