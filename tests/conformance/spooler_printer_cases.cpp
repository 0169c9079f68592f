// Printers: adding and its refusals, level 2 get and set, the printer's
// driver and handle rights, the default printer and deleting
// with handles open, and the calls while the spooler service is stopped.
#include <cstring>

#include "spooler_fixture.h"

using namespace conformance;

namespace {

const WCHAR kDriver[] = TEXT("Conformance Printer Driver");
const WCHAR kPrinter[] = TEXT("Conformance Printer");

HANDLE Open(const WCHAR* name, DWORD access) {
  PRINTER_DEFAULTSW defaults = {nullptr, nullptr, access};
  HANDLE printer = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(kPoison));
  return OpenPrinterW(W(name), &printer, access != 0 ? &defaults : nullptr) ? printer : nullptr;
}

PRINTER_INFO_2W* Info(std::vector<BYTE>& block) { return reinterpret_cast<PRINTER_INFO_2W*>(block.data()); }

// Whether EnumPrintersW lists the printer (any printer: nullptr), and its
// status.
bool Listed(const WCHAR* name, DWORD* status = nullptr) {
  DWORD count = 0;
  std::vector<BYTE> block =
      Fetch([](LPBYTE b, DWORD size, LPDWORD needed,
               LPDWORD n) { return EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, b, size, needed, n); },
            &count);
  for (DWORD i = 0; i < count; ++i) {
    if (name == nullptr || SameName(Info(block)[i].pPrinterName, name))
      return status && (*status = Info(block)[i].Status), true;
  }
  return false;
}

}  // namespace

// AddPrinterW checks the port (1796), the driver (1797, before the print
// processor), the print processor (1798) and the name (1802), and takes no
// data type. A handle opened for use may not delete the printer,
// and a driver a printer uses cannot be deleted.
CONFORMANCE_CASE(add_get_and_set_printer) {
  Driver driver(kDriver, TEXT("cpdrv"));
  expect(driver.Add(), 0);
  // Wine's half-made printer could not even be deleted afterwards.
  const bool raw = WineDiffers("AddPrinterW with no data type fails with 1801 and leaves a printer it cannot open");
  Printer printer(kPrinter, TEXT("FILE:"), kDriver, raw ? TEXT("RAW") : nullptr);
  if (!expect(printer.Add(), 0)) return;
  const struct {
    const WCHAR *name, *port, *driver, *processor;
    DWORD error;
    const char* wine;  // how Wine differs, if it does: it then adds the printer
  } refusals[] = {
      {TEXT("Refused"), TEXT("NOSUCHPORT:"), kDriver, TEXT("winprint"), 1796, "AddPrinterW accepts an unknown port"},
      {TEXT("Refused"), TEXT("FILE:"), TEXT("No Such Driver"), TEXT("noprint"), 1797, nullptr},
      {TEXT("Refused"), TEXT("FILE:"), kDriver, TEXT("noprint"), 1798, nullptr},
      {kPrinter, TEXT("FILE:"), kDriver, TEXT("winprint"), 1802, "AddPrinterW of an existing name succeeds"},
  };
  for (const auto& r : refusals) {
    const Row row("%lu", r.error);
    Printer refused(r.name, r.port, r.driver);
    refused.info.pPrintProcessor = W(r.processor);
    expect(refused.Add(), r.wine && WineDiffers(r.wine) ? 0 : r.error);
    if (r.name == kPrinter && refused.handle) ClosePrinter(refused.handle), refused.handle = nullptr;
  }

  DWORD needed = kPoison, more = 0;
  expect(GetPrinterW(printer.handle, 2, nullptr, 0, &needed), ERROR_INSUFFICIENT_BUFFER);
  if (needed == kPoison) return;
  std::vector<BYTE> block(needed, 0xCC);
  expect(GetPrinterW(printer.handle, 2, block.data(), needed - 1, &more), ERROR_INSUFFICIENT_BUFFER);
  ok(block[0] == 0xCC || WineDiffers("GetPrinterW writes into a block too short for level 2"), "a short block");
  expect(GetPrinterW(printer.handle, 2, block.data(), needed, &more), 0);

  // Plain values live under "PrinterDriverData", the Ex calls' under their
  // key; a missing value is 2, a short buffer 234 with the size needed.
  char text[] = "Ravel";
  ok(SetPrinterDataA(printer.handle, const_cast<LPSTR>("Plain"), REG_SZ, reinterpret_cast<LPBYTE>(text), 6) == 0 &&
         SetPrinterDataExA(printer.handle, "DsUser", "Keyed", REG_SZ, reinterpret_cast<LPBYTE>(text), 6) == 0,
     "setting printer data failed");
  const struct {
    const char *key, *value;  // no key: GetPrinterDataA into two bytes
    DWORD result;
  } reads[] = {
      {"PrinterDriverData", "Plain", 0}, {"DsUser", "Keyed", 0}, {"DsUser", "Plain", 2}, {nullptr, "Plain", 234}};
  for (const auto& r : reads) {
    const Row row("%s\\%s", r.key ? r.key : "(plain)", r.value);
    char data[16] = {};
    DWORD type = kPoison, needed = kPoison;
    const DWORD result =
        r.key ? GetPrinterDataExA(printer.handle, r.key, r.value, &type, reinterpret_cast<LPBYTE>(data), 16, &needed)
              : GetPrinterDataA(printer.handle, const_cast<LPSTR>(r.value), &type, reinterpret_cast<LPBYTE>(data), 2,
                                &needed);
    ok(result == r.result, "gave %lu", result);
    ok(result != 0 || (type == REG_SZ && std::strcmp(data, text) == 0), "type %lu or data", type);
    ok(result == 2 || needed == sizeof(text), "size %lu", needed);
  }

  expect(DeletePrinterDriverExW(nullptr, kX64, W(kDriver), 0, 0),
         WineDiffers("DeletePrinterDriverExW deletes a driver a printer uses") ? 0 : ERROR_PRINTER_DRIVER_IN_USE);
  Info(block)->pDriverName = W(TEXT("No Such Driver"));
  expect(SetPrinterW(printer.handle, 2, block.data(), 0),
         WineDiffers("SetPrinterW level 2 takes an unknown driver") ? 0 : ERROR_UNKNOWN_PRINTER_DRIVER);
  expect(SetPrinterW(printer.handle, 0, nullptr, PRINTER_CONTROL_PURGE),
         WineDiffers("SetPrinterW level 0 is not implemented (124)") ? ERROR_INVALID_LEVEL : 0);

  // A specific right no printer defines is granted to nobody.
  HANDLE handle = expect(Open(kPrinter, PRINTER_ALL_ACCESS | 0x80),
                         WineDiffers("OpenPrinterW makes no access check") ? 0 : ERROR_ACCESS_DENIED);
  if (handle != nullptr) ClosePrinter(handle);
  handle = expect(Open(kPrinter, 0), 0);  // PRINTER_ACCESS_USE
  const bool mayChange = WineDiffers("printer handles opened for use may change and delete the printer");
  expect(DeletePrinter(handle), mayChange ? 0 : ERROR_ACCESS_DENIED);
  if (handle != nullptr) ClosePrinter(handle);
}

// Deleted with handles open, a printer is gone from new opens at once,
// listed as pending deletion until its last handle closes, and no longer
// the default, which is named without regard to case.
CONFORMANCE_CASE(default_printer_and_delete_with_handles_open) {
  Driver driver(kDriver, TEXT("cpdrv"));
  expect(driver.Add(), 0);
  Printer printer(kPrinter, TEXT("LPT1:"), kDriver);
  if (!expect(printer.Add(), 0)) return;
  HANDLE other = Open(kPrinter, 0);
  expect(SetDefaultPrinterW(TEXT("Conformance No Such Printer")), ERROR_INVALID_PRINTER_NAME);
  expect(SetDefaultPrinterW(TEXT("CONFORMANCE PRINTER")), 0);
  WCHAR name[64];
  DWORD size = 64;
  expect(GetDefaultPrinterW(name, &size), 0);
  const bool asGiven = WineDiffers("SetDefaultPrinterW keeps the caller's spelling of the name");
  ok(SameText(name, asGiven ? TEXT("CONFORMANCE PRINTER") : kPrinter), "the default is %s", Narrow(name).c_str());
  expect(SetDefaultPrinterW(kPrinter), 0);  // Wine's DeletePrinter matches this spelling only
  expect(DeletePrinter(printer.handle), 0);
  HANDLE late =
      expect(Open(kPrinter, 0),
             WineDiffers("OpenPrinterW still opens a printer DeletePrinter removed") ? 0 : ERROR_INVALID_PRINTER_NAME);
  if (late != nullptr) ClosePrinter(late);
  size = 64;
  expect(GetDefaultPrinterW(name, &size), ERROR_FILE_NOT_FOUND);
  DWORD status = 0;
  const bool listed = Listed(kPrinter, &status);
  const bool atOnce = WineDiffers("DeletePrinter removes the printer at once, with handles open");
  ok(atOnce ? !listed : listed && (status & PRINTER_STATUS_PENDING_DELETION), "listed %d, status %lu", listed, status);
  ClosePrinter(printer.handle);
  printer.handle = nullptr;
  if (other != nullptr) ClosePrinter(other);
  ok(!Listed(kPrinter), "listed after its last handle closed");
}

// Deleting a printer that is not the default leaves the default alone.
// Deleting the default makes another printer the default (Windows picks one
// of those left); with none left there is no default, and GetDefaultPrinterW
// fails with ERROR_FILE_NOT_FOUND.
CONFORMANCE_CASE(deleting_the_default_printer_passes_the_default_on) {
  Driver driver(kDriver, TEXT("cpdrv"));
  expect(driver.Add(), 0);
  Printer first(TEXT("Conformance First Printer"), TEXT("LPT1:"), kDriver);
  Printer second(TEXT("Conformance Second Printer"), TEXT("LPT2:"), kDriver);
  Printer third(TEXT("Conformance Third Printer"), TEXT("LPT3:"), kDriver);
  if (!expect(first.Add(), 0) || !expect(second.Add(), 0) || !expect(third.Add(), 0)) return;
  expect(SetDefaultPrinterW(first.info.pPrinterName), 0);
  const struct {
    Printer& printer;
    const WCHAR* defaultAfter;  // nullptr: another printer left, if any
  } steps[] = {{third, first.info.pPrinterName}, {first, nullptr}, {second, nullptr}};
  for (const auto& s : steps) {
    const Row row("deleting %s", Narrow(s.printer.info.pPrinterName).c_str());
    expect(DeletePrinter(s.printer.handle), 0);
    ClosePrinter(s.printer.handle);
    s.printer.handle = nullptr;
    WCHAR name[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    const bool any = Listed(nullptr);
    if (!expect(GetDefaultPrinterW(name, &size), s.defaultAfter || any ? 0 : ERROR_FILE_NOT_FOUND)) continue;
    ok(s.defaultAfter ? SameText(name, s.defaultAfter) : !SameName(name, s.printer.info.pPrinterName) && Listed(name),
       "the default is %s", Narrow(name).c_str());
  }
}

// Spooler calls are RPCs to the spooler service: stopped, they fail with 1722.
CONFORMANCE_CASE(spooler_calls_fail_while_the_service_is_stopped) {
  // Wine's spooler runs inside the caller; there is nothing to fail.
  if (WineDiffers("spooler calls work while the spooler service is stopped")) return;
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service = expect(OpenServiceW(manager, TEXT("Spooler"), SERVICE_START | SERVICE_STOP), 0);
  SERVICE_STATUS status;
  ControlService(service, SERVICE_CONTROL_STOP, &status);
  for (int i = 0; i < 100 && QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED; ++i)
    Sleep(50);
  DWORD needed, count;
  expect(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count), RPC_S_SERVER_UNAVAILABLE);
  expect(StartServiceW(service, 0, nullptr), 0);
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
}
