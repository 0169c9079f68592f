// winspool: printer enumeration, the default printer and the driver
// directory.
#include <winspool.h>
#include <windows.h>

#include "api.h"

using namespace winsim;

static_assert(sizeof(DEVMODEW) == 220, "DEVMODEW must have the SDK's size");
static_assert(sizeof(PRINTER_INFO_2W) == 136, "PRINTER_INFO_2W must have the SDK's x64 size");

namespace {

// Writes strings from the end of the records/devmodes area onwards, as one
// block that the caller owns.
class BlockWriter {
 public:
  BlockWriter(BYTE* base, std::size_t stringsAt) : base_(base), next_(stringsAt) {}
  LPWSTR String(const std::u16string& s) {
    auto* out = reinterpret_cast<LPWSTR>(base_ + next_);
    std::memcpy(out, s.c_str(), (s.size() + 1) * sizeof(WCHAR));
    next_ += (s.size() + 1) * sizeof(WCHAR);
    return out;
  }

 private:
  BYTE* base_;
  std::size_t next_;
};

std::size_t StringBytes(const Printer& p) {
  std::size_t chars = 0;
  for (const std::u16string* s : {&p.name, &p.shareName, &p.port, &p.driver, &p.comment, &p.location, &p.sepFile,
                                  &p.printProcessor, &p.datatype, &p.parameters}) {
    chars += s->size() + 1;
  }
  return chars * sizeof(WCHAR);
}

void FillDevMode(DEVMODEW& dm, const Printer& p) {
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

}  // namespace

// Level 2 only. Records first, then one DEVMODEW per printer, then the
// strings, all inside the caller's block. A short block gives 122 with the
// size needed and no records.
BOOL WINAPI EnumPrintersW(DWORD Flags, LPWSTR Name, DWORD Level, LPBYTE pPrinterEnum, DWORD cbBuf, LPDWORD pcbNeeded,
                          LPDWORD pcReturned) {
  WINSIM_FAULT(FALSE);
  if (pcbNeeded == nullptr || pcReturned == nullptr) {
    Fail(RPC_X_NULL_REF_POINTER);
    return FALSE;
  }
  *pcReturned = 0;
  if (Level != 2) {
    Fail(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  if (Name != nullptr && *Name != 0) {
    Fail(ERROR_INVALID_NAME);
    return FALSE;
  }
  std::vector<const Printer*> chosen;
  if (Flags & (PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS)) {
    for (const auto& p : M().spooler.printers) chosen.push_back(&p);
  }
  const std::size_t records = chosen.size() * sizeof(PRINTER_INFO_2W);
  const std::size_t devmodes = chosen.size() * sizeof(DEVMODEW);
  std::size_t needed = records + devmodes;
  for (const Printer* p : chosen) needed += StringBytes(*p);
  *pcbNeeded = static_cast<DWORD>(needed);
  if (cbBuf < needed || (needed > 0 && pPrinterEnum == nullptr)) {
    Fail(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  auto* info = reinterpret_cast<PRINTER_INFO_2W*>(pPrinterEnum);
  auto* dm = reinterpret_cast<DEVMODEW*>(pPrinterEnum + records);
  BlockWriter strings(pPrinterEnum, records + devmodes);
  for (std::size_t i = 0; i < chosen.size(); ++i) {
    const Printer& p = *chosen[i];
    PRINTER_INFO_2W& r = info[i];
    std::memset(&r, 0, sizeof(r));
    r.pPrinterName = strings.String(p.name);
    r.pShareName = strings.String(p.shareName);
    r.pPortName = strings.String(p.port);
    r.pDriverName = strings.String(p.driver);
    r.pComment = strings.String(p.comment);
    r.pLocation = strings.String(p.location);
    FillDevMode(dm[i], p);
    r.pDevMode = &dm[i];
    r.pSepFile = strings.String(p.sepFile);
    r.pPrintProcessor = strings.String(p.printProcessor);
    r.pDatatype = strings.String(p.datatype);
    r.pParameters = strings.String(p.parameters);
    r.Attributes = p.attributes;
    r.Priority = p.priority;
    r.DefaultPriority = p.defaultPriority;
    r.StartTime = p.startTime;
    r.UntilTime = p.untilTime;
    r.Status = p.status;
    r.cJobs = static_cast<DWORD>(p.jobs.size());
    r.AveragePPM = p.averagePpm;
  }
  *pcReturned = static_cast<DWORD>(chosen.size());
  return TRUE;
}

// *pcchBuffer counts characters with the terminator, in and out. No default
// printer gives ERROR_FILE_NOT_FOUND.
BOOL WINAPI GetDefaultPrinterW(LPWSTR pszBuffer, LPDWORD pcchBuffer) {
  WINSIM_FAULT(FALSE);
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

// A printer that does not exist gives ERROR_INVALID_PRINTER_NAME.
BOOL WINAPI SetDefaultPrinterW(LPCWSTR pszPrinter) {
  WINSIM_FAULT(FALSE);
  if (pszPrinter == nullptr || *pszPrinter == 0) {
    Fail(ERROR_INVALID_PRINTER_NAME);
    return FALSE;
  }
  Printer* p = M().spooler.FindPrinter(FromWide(pszPrinter));
  if (p == nullptr) {
    Fail(ERROR_INVALID_PRINTER_NAME);
    return FALSE;
  }
  M().spooler.defaultPrinter = p->name;
  return TRUE;
}

// Level 1: the directory as one string, size in bytes with the terminator.
BOOL WINAPI GetPrinterDriverDirectoryW(LPWSTR pName, LPWSTR pEnvironment, DWORD Level, LPBYTE pDriverDirectory,
                                       DWORD cbBuf, LPDWORD pcbNeeded) {
  WINSIM_FAULT(FALSE);
  if (pName != nullptr && *pName != 0) {
    Fail(ERROR_INVALID_NAME);
    return FALSE;
  }
  if (Level != 1) {
    Fail(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  if (pcbNeeded == nullptr) {
    Fail(RPC_X_NULL_REF_POINTER);
    return FALSE;
  }
  const std::u16string environment = pEnvironment ? FromWide(pEnvironment) : u"Windows x64";
  const PrintEnvironment* found = M().spooler.FindEnvironment(environment);
  if (found == nullptr) {
    Fail(ERROR_INVALID_ENVIRONMENT);
    return FALSE;
  }
  const std::u16string& directory = found->driverDirectory;
  const DWORD needed = static_cast<DWORD>((directory.size() + 1) * sizeof(WCHAR));
  *pcbNeeded = needed;
  if (pDriverDirectory == nullptr || cbBuf < needed) {
    Fail(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(pDriverDirectory, directory.c_str(), needed);
  return TRUE;
}
