// The record one install or uninstall run carries through every operation.
#pragma once
#include <windows.h>
#include <winspool.h>

#include "global_block.h"
#include "printer_enumeration.h"
#include "product.h"
#include "saved_settings.h"
#include "string_list.h"
#include "text_buffer.h"

// InitContext flags.
constexpr DWORD InitFlagX64 = 2;     // x64 environment and file names
constexpr DWORD InitFlagNoTray = 4;  // do not register or start the tray program

struct InstallContext {
  TextBuffer InstallDir;  // the installer's directory, ending in its separator
  TextBuffer SystemDir;   // the system directory, ending in a backslash
  TextBuffer LogText;     // the run log
  TextBuffer DriverDir;   // the spooler's driver directory, ending in a backslash
  LPCWSTR Environment;
  LPCWSTR MonitorFile;
  LPCWSTR DriverFile;
  LPCWSTR HelpFile;
  LPCWSTR UiFile;
  BYTE CheckMonitorVersion;
  BYTE InstallMonitor;
  BYTE RegisterTray;
  BYTE CopyMonitor;
  LONG ErrorCount;
  LONG LogDepth;
  StringList PendingDeletes;
  SavedSettingsEntry* SavedSettings;
  PrinterEnumeration Printers;
  GlobalBlock<PRINTER_INFO_2W*> ParkedPrinters;  // null-terminated, points into Printers
};

InstallContext& InitContext(InstallContext& context, DWORD flags);
void FreeContext(InstallContext& context);
void SelectEnvironment(InstallContext& context, bool useX64);
void MarkDefaultPrinter(InstallContext& context);
