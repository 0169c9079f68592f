// winspool: printers, their handles and the default printer.
#include "winspool_internal.h"

using namespace winsim;

static_assert(sizeof(DEVMODEW) == 220, "DEVMODEW must have the SDK's size");
static_assert(sizeof(PRINTER_INFO_2W) == 136, "PRINTER_INFO_2W must have the SDK's x64 size");

namespace {

constexpr std::size_t kMaxPrinterName = 220;

// The data types winprint takes.
const char16_t* const kDatatypes[] = {u"RAW",          u"RAW [FF appended]", u"RAW [FF auto]", u"NT EMF 1.003",
                                      u"NT EMF 1.006", u"NT EMF 1.007",      u"NT EMF 1.008",  u"TEXT"};

void FillDevMode(const Printer& p, DEVMODEW& dm) {
  std::memset(&dm, 0, sizeof(dm));
  const std::size_t n = std::min<std::size_t>(p.name.size(), CCHDEVICENAME - 1);
  std::memcpy(dm.dmDeviceName, p.name.data(), n * sizeof(WCHAR));
  dm.dmSpecVersion = DM_SPECVERSION;
  dm.dmSize = sizeof(DEVMODEW);
  dm.dmFields = 0x00000001 | 0x00000002 | 0x00000100;  // orientation, paper size, copies
  dm.dmOrientation = 1;
  dm.dmPaperSize = 9;  // A4
  dm.dmCopies = 1;
}

void FillPrinterFixed(const Printer& p, BYTE* record) {
  auto& r = *reinterpret_cast<PRINTER_INFO_2W*>(record);
  r.Attributes = p.attributes;
  r.Priority = p.priority;
  r.DefaultPriority = p.defaultPriority;
  r.StartTime = p.startTime;
  r.UntilTime = p.untilTime;
  r.Status = p.status | (p.deletePending ? PRINTER_STATUS_PENDING_DELETION : 0);
  r.cJobs = static_cast<DWORD>(p.jobs.size());
  r.AveragePPM = p.averagePpm;
}

// Built before main: a test run that cannot allocate it ends either way.
// NOLINTNEXTLINE(cert-err58-cpp)
const std::vector<InfoLevel<Printer>> kPrinterLevels = {
    {2,
     sizeof(PRINTER_INFO_2W),
     {
         {offsetof(PRINTER_INFO_2W, pPrinterName), [](const Printer& p) -> Text { return p.name; }},
         {offsetof(PRINTER_INFO_2W, pShareName), [](const Printer& p) -> Text { return p.shareName; }},
         {offsetof(PRINTER_INFO_2W, pPortName), [](const Printer& p) -> Text { return p.port; }},
         {offsetof(PRINTER_INFO_2W, pDriverName), [](const Printer& p) -> Text { return p.driver; }},
         {offsetof(PRINTER_INFO_2W, pComment), [](const Printer& p) -> Text { return p.comment; }},
         {offsetof(PRINTER_INFO_2W, pLocation), [](const Printer& p) -> Text { return p.location; }},
         {offsetof(PRINTER_INFO_2W, pSepFile), [](const Printer& p) -> Text { return p.sepFile; }},
         {offsetof(PRINTER_INFO_2W, pPrintProcessor), [](const Printer& p) -> Text { return p.printProcessor; }},
         {offsetof(PRINTER_INFO_2W, pDatatype), [](const Printer& p) -> Text { return p.datatype; }},
         {offsetof(PRINTER_INFO_2W, pParameters), [](const Printer& p) -> Text { return p.parameters; }},
     },
     FillPrinterFixed,
     FillDevMode,
     offsetof(PRINTER_INFO_2W, pDevMode)},
};

// Generic rights mapped onto the printer's (or the server's) own.
DWORD MapAccess(DWORD desired, bool server) {
  const struct {
    DWORD generic, printer, serverRights;
  } mapping[] = {
      {GENERIC_READ, PRINTER_READ, SERVER_READ},
      {GENERIC_WRITE, PRINTER_WRITE, SERVER_WRITE},
      {GENERIC_EXECUTE, PRINTER_EXECUTE, SERVER_EXECUTE},
      {GENERIC_ALL, PRINTER_ALL_ACCESS, SERVER_ALL_ACCESS},
  };
  DWORD mapped = desired & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL);
  for (const auto& m : mapping) {
    if (desired & m.generic) mapped |= server ? m.serverRights : m.printer;
  }
  return mapped;
}

// Spooler::grantableAccess is said in printer rights; the server's
// administer and enumerate rights go with the printer's administer and use.
bool Grantable(DWORD rights, bool server) {
  if (server) {
    const DWORD specific = rights & (SERVER_ACCESS_ADMINISTER | SERVER_ACCESS_ENUMERATE);
    rights &= ~specific;
    if (specific & SERVER_ACCESS_ADMINISTER) rights |= PRINTER_ACCESS_ADMINISTER;
    if (specific & SERVER_ACCESS_ENUMERATE) rights |= PRINTER_ACCESS_USE;
  }
  return (rights & ~M().spooler.grantableAccess) == 0;
}

HANDLE AddPrinterHandle(const std::u16string& printerName, DWORD access) {
  return NewCallerHandle<HANDLE>(HandleKind::Printer, FoldCase(printerName), access, M().services.spooler.process);
}

// Whether the handle was opened with `rights`; ERROR_ACCESS_DENIED if not.
bool HasAccess(const Handle& handle, DWORD rights) {
  if ((handle.access & rights) == rights) return true;
  Fail(ERROR_ACCESS_DENIED);
  return false;
}

// The checks AddPrinterW and SetPrinterW make of a PRINTER_INFO_2W's links,
// in the spooler's order; 0 when all hold.
DWORD CheckLinks(const PRINTER_INFO_2W& info) {
  if (IsLocalServer(info.pPortName) || IsLocalServer(info.pDriverName) || IsLocalServer(info.pPrintProcessor)) {
    return ERROR_INVALID_PARAMETER;
  }
  const auto ports = PortList(FromWide(info.pPortName));
  if (ports.empty()) return ERROR_UNKNOWN_PORT;
  for (const auto& port : ports) {
    if (MonitorOfPort(M(), port) == nullptr) return ERROR_UNKNOWN_PORT;
  }
  if (M().spooler.FindDriver(FromWide(info.pDriverName), kNativeEnvironment) == nullptr) {
    return ERROR_UNKNOWN_PRINTER_DRIVER;
  }
  const auto& processors = M().spooler.printProcessors;
  if (std::none_of(processors.begin(), processors.end(),
                   [&](const std::u16string& p) { return SameFolded(p, FromWide(info.pPrintProcessor)); })) {
    return ERROR_UNKNOWN_PRINTPROCESSOR;
  }
  if (info.pDatatype != nullptr && std::none_of(std::begin(kDatatypes), std::end(kDatatypes), [&](const char16_t* d) {
        return SameFolded(d, FromWide(info.pDatatype));
      })) {
    return ERROR_INVALID_DATATYPE;
  }
  return ERROR_SUCCESS;
}

bool ValidPrinterName(LPCWSTR name) {
  if (IsLocalServer(name)) return false;
  const std::u16string text = FromWide(name);
  return text.size() <= kMaxPrinterName && text.find_first_of(u"\\,") == std::u16string::npos;
}

// The fields level 2 sets, beyond the name and the status.
void TakeSettings(Printer& p, const PRINTER_INFO_2W& info) {
  p.shareName = FromWide(info.pShareName);
  p.port = FromWide(info.pPortName);
  p.driver = FromWide(info.pDriverName);
  p.comment = FromWide(info.pComment);
  p.location = FromWide(info.pLocation);
  p.sepFile = FromWide(info.pSepFile);
  p.printProcessor = FromWide(info.pPrintProcessor);
  // No data type is the print processor's default one.
  p.datatype = info.pDatatype != nullptr ? FromWide(info.pDatatype) : u"RAW";
  p.parameters = FromWide(info.pParameters);
  p.attributes = (info.Attributes | PRINTER_ATTRIBUTE_LOCAL) & ~(PRINTER_ATTRIBUTE_DEFAULT | PRINTER_ATTRIBUTE_NETWORK);
  p.priority = info.Priority;
  p.defaultPriority = info.DefaultPriority;
  p.startTime = info.StartTime;
  p.untilTime = info.UntilTime;
}

}  // namespace

// Level 2 only. Records first, one DEVMODEW per printer, then the strings,
// packed from the end of the caller's block.
BOOL WINAPI EnumPrintersW(DWORD Flags, LPWSTR Name, DWORD Level, LPBYTE pPrinterEnum, DWORD cbBuf, LPDWORD pcbNeeded,
                          LPDWORD pcReturned) {
  WINSPOOL_ENTRY(FALSE);
  const InfoLevel<Printer>* level = StartEnum(kPrinterLevels, Level, Name, pcbNeeded, pcReturned);
  if (level == nullptr) return FALSE;
  std::vector<const Printer*> chosen;
  if (Flags & (PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS)) {
    for (const auto& p : M().spooler.printers) chosen.push_back(&p);
  }
  return EndEnum(*level, chosen, pPrinterEnum, cbBuf, pcbNeeded, pcReturned);
}

// NULL or "" opens the print server. Without defaults a printer is opened
// for PRINTER_ACCESS_USE; rights the caller may not have give
// ERROR_ACCESS_DENIED. A printer being deleted can no longer be opened.
BOOL WINAPI OpenPrinterW(LPWSTR pPrinterName, LPHANDLE phPrinter, LPPRINTER_DEFAULTSW pDefault) {
  WINSPOOL_ENTRY(FALSE);
  if (phPrinter == nullptr) {
    Fail(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *phPrinter = nullptr;
  const bool server = IsLocalServer(pPrinterName);
  std::u16string name;
  if (!server) {
    const Printer* printer = M().spooler.FindPrinter(FromWide(pPrinterName));
    if (printer == nullptr || printer->deletePending) {
      Fail(ERROR_INVALID_PRINTER_NAME);
      return FALSE;
    }
    name = printer->name;
  }
  DWORD access = pDefault != nullptr ? MapAccess(pDefault->DesiredAccess, server) : 0;
  if (access == 0) access = server ? SERVER_ACCESS_ENUMERATE : PRINTER_ACCESS_USE;
  if (!Grantable(access, server)) {
    Fail(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  *phPrinter = AddPrinterHandle(name, access);
  return TRUE;
}

BOOL WINAPI ClosePrinter(HANDLE hPrinter) {
  WINSIM_FAULT(FALSE);
  const Handle* handle = M().handles.Find(HandleValue(hPrinter), HandleKind::Printer, M().caller);
  if (handle == nullptr) {
    Fail(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // The client side lets go of the handle even when the spooler is gone.
  CloseHandleEntry(M(), HandleValue(hPrinter));
  return SpoolerAnswers() ? TRUE : FALSE;
}

// Level 2. Returns a handle with PRINTER_ALL_ACCESS.
HANDLE WINAPI AddPrinterW(LPWSTR pName, DWORD Level, LPBYTE pPrinter) {
  WINSPOOL_ENTRY(nullptr);
  if (!IsLocalServer(pName)) {
    Fail(ERROR_INVALID_NAME);
    return nullptr;
  }
  if (Level != 2) {
    Fail(ERROR_INVALID_LEVEL);
    return nullptr;
  }
  const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(pPrinter);
  if (info == nullptr) {
    Fail(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (!Grantable(PRINTER_ALL_ACCESS, false)) {
    Fail(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  if (!ValidPrinterName(info->pPrinterName)) {
    Fail(ERROR_INVALID_PRINTER_NAME);
    return nullptr;
  }
  if (M().spooler.FindPrinter(FromWide(info->pPrinterName)) != nullptr) {
    Fail(ERROR_PRINTER_ALREADY_EXISTS);
    return nullptr;
  }
  if (const DWORD error = CheckLinks(*info)) {
    Fail(error);
    return nullptr;
  }
  Printer printer;
  printer.name = FromWide(info->pPrinterName);
  TakeSettings(printer, *info);
  M().spooler.printers.push_back(printer);
  return AddPrinterHandle(printer.name, PRINTER_ALL_ACCESS);
}

// Needs DELETE. The printer goes when its last handle closes; it stops
// being the default printer at once.
BOOL WINAPI DeletePrinter(HANDLE hPrinter) {
  WINSPOOL_ENTRY(FALSE);
  const Handle* handle = FindPrinterHandle(hPrinter);
  if (handle == nullptr) return FALSE;
  Printer* printer = PrinterOfHandle(*handle);
  if (printer == nullptr || !HasAccess(*handle, DELETE)) return FALSE;
  if (printer->deletePending) {
    Fail(ERROR_INVALID_PRINTER_NAME);
    return FALSE;
  }
  printer->deletePending = true;
  printer->jobs.clear();
  auto& defaultPrinter = M().spooler.defaultPrinter;
  if (defaultPrinter && SameFolded(*defaultPrinter, printer->name)) defaultPrinter.reset();
  return TRUE;
}

BOOL WINAPI GetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD cbBuf, LPDWORD pcbNeeded) {
  WINSPOOL_ENTRY(FALSE);
  const Printer* printer = nullptr;
  const InfoLevel<Printer>* level = StartGet(hPrinter, kPrinterLevels, Level, pcbNeeded, printer);
  if (level == nullptr) return FALSE;
  return WriteInfo(*level, {printer}, pPrinter, cbBuf, pcbNeeded) ? TRUE : FALSE;
}

// Needs PRINTER_ACCESS_ADMINISTER. Level 0 carries out `Command` alone
// (PRINTER_CONTROL_PURGE drops every job); level 2 sets the printer's
// fields, checked as AddPrinterW checks them.
BOOL WINAPI SetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD Command) {
  WINSPOOL_ENTRY(FALSE);
  const Handle* handle = FindPrinterHandle(hPrinter);
  if (handle == nullptr) return FALSE;
  Printer* printer = PrinterOfHandle(*handle);
  if (printer == nullptr || !HasAccess(*handle, PRINTER_ACCESS_ADMINISTER)) return FALSE;
  if (Level != 0 && Level != 2) {
    Fail(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  if (Command > PRINTER_CONTROL_SET_STATUS || (Level == 0 && Command == 0)) {
    Fail(ERROR_INVALID_PRINTER_COMMAND);
    return FALSE;
  }
  if (Level == 2) {
    const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(pPrinter);
    if (info == nullptr) {
      Fail(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    if (!ValidPrinterName(info->pPrinterName)) {
      Fail(ERROR_INVALID_PRINTER_NAME);
      return FALSE;
    }
    const std::u16string name = FromWide(info->pPrinterName);
    const Printer* other = M().spooler.FindPrinter(name);
    if (other != nullptr && other != printer) {
      Fail(ERROR_PRINTER_ALREADY_EXISTS);
      return FALSE;
    }
    if (const DWORD error = CheckLinks(*info)) {
      Fail(error);
      return FALSE;
    }
    // A new name: the open handles follow the printer.
    for (auto& entry : M().handles.entries) {
      Handle& h = entry.second;
      if (h.kind == HandleKind::Printer && h.object == FoldCase(printer->name)) h.object = FoldCase(name);
    }
    auto& defaultPrinter = M().spooler.defaultPrinter;
    if (defaultPrinter && SameFolded(*defaultPrinter, printer->name)) defaultPrinter = name;
    printer->name = name;
    TakeSettings(*printer, *info);
  }
  switch (Command) {
    case PRINTER_CONTROL_PAUSE: printer->status |= PRINTER_STATUS_PAUSED; break;
    case PRINTER_CONTROL_RESUME: printer->status &= ~DWORD{PRINTER_STATUS_PAUSED}; break;
    case PRINTER_CONTROL_PURGE: printer->jobs.clear(); break;
    case PRINTER_CONTROL_SET_STATUS:
      if (pPrinter != nullptr && Level == 0) printer->status = *reinterpret_cast<const DWORD*>(pPrinter);
      break;
    default: break;
  }
  return TRUE;
}

// *pcchBuffer counts characters with the terminator, in and out. No default
// printer gives ERROR_FILE_NOT_FOUND.
BOOL WINAPI GetDefaultPrinterW(LPWSTR pszBuffer, LPDWORD pcchBuffer) {
  WINSPOOL_ENTRY(FALSE);
  if (pcchBuffer == nullptr) {
    Fail(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const auto& name = M().spooler.defaultPrinter;
  if (!name) {
    Fail(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  const DWORD needed = static_cast<DWORD>(name->size() + 1);
  if (pszBuffer == nullptr || *pcchBuffer < needed) {
    *pcchBuffer = needed;
    Fail(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(pszBuffer, name->c_str(), needed * sizeof(WCHAR));
  *pcchBuffer = needed;
  return TRUE;
}

// A printer that does not exist gives ERROR_INVALID_PRINTER_NAME. NULL or ""
// keeps a default printer there is; without one, the first printer of the
// enumeration becomes the default.
BOOL WINAPI SetDefaultPrinterW(LPCWSTR pszPrinter) {
  WINSPOOL_ENTRY(FALSE);
  if (pszPrinter == nullptr || *pszPrinter == 0) {
    auto& defaultPrinter = M().spooler.defaultPrinter;
    if (defaultPrinter) return TRUE;
    for (const Printer& p : M().spooler.printers) {
      if (p.deletePending) continue;
      defaultPrinter = p.name;
      return TRUE;
    }
    Fail(ERROR_INVALID_PRINTER_NAME);
    return FALSE;
  }
  Printer* p = M().spooler.FindPrinter(FromWide(pszPrinter));
  if (p == nullptr || p->deletePending) {
    Fail(ERROR_INVALID_PRINTER_NAME);
    return FALSE;
  }
  M().spooler.defaultPrinter = p->name;
  return TRUE;
}
