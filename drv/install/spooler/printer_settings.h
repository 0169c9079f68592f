// Product printers' settings carry-over: a reinstall deletes the product
// printers and creates them again with their settings name ("SubKey" printer
// data, which names the per-user settings key), comment, location and
// default status.
#pragma once
#include <windows.h>
#include <winspool.h>

#include "../shell/install_context.h"

// Room for a settings name, terminator included.
constexpr DWORD SettingsNameBytes = 64;

// Saves and deletes every printer of the snapshot that uses the product driver.
void DeleteAllPrinters(InstallContext& context);
// Records the printer's settings name, if it has one, in SavedSettings.
void SavePrinterSettings(InstallContext& context, PRINTER_INFO_2W& printer);
// Re-creates the saved printers, or the one printer "Ravelquill".
void RestorePrinterSettings(InstallContext& context);

// Fills `name` (SettingsNameBytes at least) with the printer's settings name,
// or with an empty text when it has none that fits.
void ReadSettingsName(HANDLE printer, LPSTR name);
// Writes the settings name plain and under "DsUser"; true when the second
// write succeeded. A null name is not written.
bool WriteSettingsName(HANDLE printer, LPCSTR name);
// Deletes the value "deleted" of the product's per-user key's sub-key
// `subKey`; true when it was deleted.
bool ClearDeletedMark(LPCSTR subKey);
