// winspool: printer data, plain (the "PrinterDriverData" key) and under
// named keys. These calls return the error rather than setting it.
#include "ansi_code_page.h"
#include "winspool_internal.h"

using namespace winsim;

namespace {

const char16_t kPlainDataKey[] = u"PrinterDriverData";

bool IsText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// The spooler keeps text in UTF-16; the A calls convert on the way in and
// out through the machine's ANSI code page.
std::vector<BYTE> Widened(const BYTE* data, DWORD size) {
  std::vector<BYTE> wide(size * sizeof(WCHAR));
  for (std::size_t i = 0; i < size; ++i) {
    const char16_t c = FromAnsi(data[i]);
    wide[i * 2] = static_cast<BYTE>(c & 0xFF);
    wide[i * 2 + 1] = static_cast<BYTE>(c >> 8);
  }
  return wide;
}

std::vector<BYTE> Narrowed(const std::vector<BYTE>& wide) {
  std::vector<BYTE> narrow(wide.size() / sizeof(WCHAR));
  for (std::size_t i = 0; i < narrow.size(); ++i) {
    const WCHAR c = static_cast<WCHAR>(wide[i * 2] | (wide[i * 2 + 1] << 8));
    narrow[i] = static_cast<BYTE>(ToAnsi(c));
  }
  return narrow;
}

// The printer a data call acts on, or the error.
DWORD DataPrinter(HANDLE hPrinter, DWORD rights, Printer*& printer) {
  const Handle* handle = FindPrinterHandle(hPrinter);
  if (handle == nullptr) return ERROR_INVALID_HANDLE;
  printer = PrinterOfHandle(*handle);
  if (printer == nullptr) return ERROR_INVALID_HANDLE;
  if ((handle->access & rights) != rights) return ERROR_ACCESS_DENIED;
  return ERROR_SUCCESS;
}

DWORD GetData(HANDLE hPrinter, const std::u16string& key, LPCSTR pValueName, LPDWORD pType, LPBYTE pData, DWORD nSize,
              LPDWORD pcbNeeded) {
  Printer* printer = nullptr;
  if (const DWORD error = DataPrinter(hPrinter, 0, printer)) return error;
  if (key.empty() || pcbNeeded == nullptr) return ERROR_INVALID_PARAMETER;
  const auto values = printer->data.find(FoldCase(key));
  if (values == printer->data.end()) return ERROR_FILE_NOT_FOUND;
  const auto value = values->second.find(FoldCase(FromAnsi(pValueName)));
  if (value == values->second.end()) return ERROR_FILE_NOT_FOUND;
  const RegistryValue& stored = value->second;
  const std::vector<BYTE> data = IsText(stored.type) ? Narrowed(stored.data) : stored.data;
  *pcbNeeded = static_cast<DWORD>(data.size());
  if (pType != nullptr) *pType = stored.type;
  if (pData == nullptr || nSize < data.size()) return ERROR_MORE_DATA;
  std::memcpy(pData, data.data(), data.size());
  return ERROR_SUCCESS;
}

// Needs PRINTER_ACCESS_ADMINISTER.
DWORD SetData(HANDLE hPrinter, const std::u16string& key, LPCSTR pValueName, DWORD type, const BYTE* pData,
              DWORD cbData) {
  Printer* printer = nullptr;
  if (const DWORD error = DataPrinter(hPrinter, PRINTER_ACCESS_ADMINISTER, printer)) return error;
  if (key.empty() || (pData == nullptr && cbData != 0)) return ERROR_INVALID_PARAMETER;
  RegistryValue value;
  value.name = FromAnsi(pValueName);
  value.type = type;
  value.data = IsText(type) ? Widened(pData, cbData) : std::vector<BYTE>(pData, pData + cbData);
  printer->data[FoldCase(key)][FoldCase(value.name)] = value;
  return ERROR_SUCCESS;
}

}  // namespace

// The armed fault's error, then RPC_S_SERVER_UNAVAILABLE while the spooler
// is not running: returned, as these calls report errors.
#define WINSPOOL_DATA_ENTRY()                                                      \
  do {                                                                             \
    WINSIM_FAULT(M().lastError);                                                   \
    if (!SpoolerRunning(M())) return static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE); \
  } while (0)

DWORD WINAPI GetPrinterDataA(HANDLE hPrinter, LPSTR pValueName, LPDWORD pType, LPBYTE pData, DWORD nSize,
                             LPDWORD pcbNeeded) {
  WINSPOOL_DATA_ENTRY();
  return GetData(hPrinter, kPlainDataKey, pValueName, pType, pData, nSize, pcbNeeded);
}

DWORD WINAPI GetPrinterDataExA(HANDLE hPrinter, LPCSTR pKeyName, LPCSTR pValueName, LPDWORD pType, LPBYTE pData,
                               DWORD nSize, LPDWORD pcbNeeded) {
  WINSPOOL_DATA_ENTRY();
  return GetData(hPrinter, FromAnsi(pKeyName), pValueName, pType, pData, nSize, pcbNeeded);
}

DWORD WINAPI SetPrinterDataA(HANDLE hPrinter, LPSTR pValueName, DWORD Type, LPBYTE pData, DWORD cbData) {
  WINSPOOL_DATA_ENTRY();
  return SetData(hPrinter, kPlainDataKey, pValueName, Type, pData, cbData);
}

DWORD WINAPI SetPrinterDataExA(HANDLE hPrinter, LPCSTR pKeyName, LPCSTR pValueName, DWORD Type, LPBYTE pData,
                               DWORD cbData) {
  WINSPOOL_DATA_ENTRY();
  return SetData(hPrinter, FromAnsi(pKeyName), pValueName, Type, pData, cbData);
}
