#include "printer_settings.h"

#include <cstring>

#include "../shell/product.h"
#include "../shell/run_log.h"
#include "../shell/wide_text.h"
#include "printer_queue.h"

namespace {

constexpr char kSettingsValue[] = "SubKey";
constexpr char kSettingsDataKey[] = "DsUser";
constexpr SIZE_T kTextArea = 260;

// Appends `text` to the zero-terminated `buffer` of `capacity` bytes; false,
// with the buffer unchanged, when it does not fit.
bool AppendAnsi(LPSTR buffer, SIZE_T capacity, LPCSTR text) {
  const SIZE_T used = std::strlen(buffer);
  const SIZE_T length = std::strlen(text);
  if (used + length + 1 > capacity) return false;
  std::memcpy(buffer + used, text, length + 1);
  return true;
}

// A settings name as one printer data read gives it: a REG_SZ value ended
// within its SettingsNameBytes. A value that fills them without a terminator
// is no name: taken as it is, it would run past the buffer.
template <typename Read>
bool ReadTerminatedName(Read read, LPSTR name) {
  BYTE data[SettingsNameBytes] = {};
  DWORD type = REG_NONE;
  DWORD needed = 0;
  if (read(&type, data, &needed) != ERROR_SUCCESS || type != REG_SZ) return false;
  const auto* end = static_cast<const BYTE*>(std::memchr(data, 0, sizeof(data)));
  if (end == nullptr) return false;
  std::memcpy(name, data, static_cast<SIZE_T>(end - data) + 1);
  return true;
}

}  // namespace

void ReadSettingsName(HANDLE printer, LPSTR name) {
  name[0] = 0;
  auto plain = [printer](LPDWORD type, LPBYTE data, LPDWORD needed) {
    return GetPrinterDataA(printer, const_cast<LPSTR>(kSettingsValue), type, data, SettingsNameBytes, needed);
  };
  if (ReadTerminatedName(plain, name)) return;
  auto underKey = [printer](LPDWORD type, LPBYTE data, LPDWORD needed) {
    return GetPrinterDataExA(printer, kSettingsDataKey, kSettingsValue, type, data, SettingsNameBytes, needed);
  };
  if (!ReadTerminatedName(underKey, name)) name[0] = 0;
}

bool WriteSettingsName(HANDLE printer, LPCSTR name) {
  if (name == nullptr) return false;
  auto* data = reinterpret_cast<LPBYTE>(const_cast<LPSTR>(name));
  const auto size = static_cast<DWORD>(std::strlen(name) + 1);
  SetPrinterDataA(printer, const_cast<LPSTR>(kSettingsValue), REG_SZ, data, size);
  return SetPrinterDataExA(printer, kSettingsDataKey, kSettingsValue, REG_SZ, data, size) == ERROR_SUCCESS;
}

bool ClearDeletedMark(LPCSTR subKey) {
  char path[kTextArea] = {};
  if (subKey == nullptr || !AppendAnsi(path, sizeof(path), ProductUserKey) || !AppendAnsi(path, sizeof(path), "\\") ||
      !AppendAnsi(path, sizeof(path), subKey)) {
    return false;
  }
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return false;
  const bool deleted = RegDeleteValueA(key, "deleted") == ERROR_SUCCESS;
  RegCloseKey(key);
  return deleted;
}

void SavePrinterSettings(InstallContext& context, PRINTER_INFO_2W& printer) {
  char name[kTextArea] = {};
  HANDLE handle = nullptr;
  if (!OpenPrinterW(printer.pPrinterName, &handle, nullptr)) return;
  ReadSettingsName(handle, name);
  ClosePrinter(handle);
  if (name[0] == 0) return;
  auto* entry = static_cast<SavedSettingsEntry*>(GlobalAlloc(GPTR, sizeof(SavedSettingsEntry)));
  if (entry == nullptr) return;
  const SIZE_T bytes = std::strlen(name) + 1;
  entry->SettingsName = static_cast<LPSTR>(GlobalAlloc(GPTR, bytes));
  if (entry->SettingsName != nullptr) std::memcpy(entry->SettingsName, name, bytes);
  entry->Printer = &printer;
  entry->Next = context.SavedSettings;
  context.SavedSettings = entry;
}

void DeleteAllPrinters(InstallContext& context) {
  LogLine(context, TEXT(">DeleteAllPrinters"));
  LogDepthScope depth(context, 1);
  for (DWORD i = 0; context.Printers.Buffer && i < context.Printers.Count; ++i) {
    PRINTER_INFO_2W& printer = context.Printers.Buffer[i];
    if (!WideEqual(printer.pDriverName, ProductDriverName)) continue;
    SavePrinterSettings(context, printer);
    DeleteOnePrinter(context, printer.pPrinterName);
  }
}

namespace {

// Gives the new printer its settings name and clears the name's "deleted"
// mark, so the user's settings are taken up again rather than discarded.
void RestoreSettingsName(HANDLE printer, LPCSTR name) {
  if (!WriteSettingsName(printer, name)) return;
  char subKey[kTextArea] = {};
  std::memcpy(subKey, SettingsKeyPrefix, sizeof(SettingsKeyPrefix));
  LPSTR readBack = subKey + sizeof(SettingsKeyPrefix) - 1;
  ReadSettingsName(printer, readBack);
  if (readBack[0] != 0) ClearDeletedMark(subKey);
}

// Comment, location and default status come from the printer as it was.
void RestoreDescription(HANDLE printer, const PRINTER_INFO_2W& saved) {
  PrinterInformation information{};
  GetPrinterInfo2(printer, information);
  if (!information.Buffer) return;
  information.Buffer->pComment = saved.pComment;
  information.Buffer->pLocation = saved.pLocation;
  SetPrinterW(printer, 2, information.Buffer.Bytes(), 0);
  if ((saved.Attributes & PRINTER_ATTRIBUTE_DEFAULT) != 0 && WideEqual(saved.pDriverName, ProductDriverName)) {
    SetDefaultPrinterW(information.Buffer->pPrinterName);
  }
}

}  // namespace

void RestorePrinterSettings(InstallContext& context) {
  int restored = 0;
  for (SavedSettingsEntry* entry = context.SavedSettings; entry != nullptr; entry = entry->Next) {
    HANDLE printer = AddProductPrinter(context, entry->Printer->pPrinterName);
    if (printer == nullptr) continue;
    RestoreSettingsName(printer, entry->SettingsName);
    RestoreDescription(printer, *entry->Printer);
    ClosePrinter(printer);
    ++restored;
  }
  if (restored == 0) {
    HANDLE printer = AddProductPrinter(context, ProductPrinterName);
    if (printer != nullptr) ClosePrinter(printer);
  }
}
