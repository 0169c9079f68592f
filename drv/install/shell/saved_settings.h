// The chain of product printers' settings saved before their deletion.
#pragma once
#include <windows.h>
#include <winspool.h>

struct SavedSettingsEntry {
  LPSTR SettingsName;        // owned global-heap ANSI text, may be null
  PRINTER_INFO_2W* Printer;  // record in InstallContext::Printers, not owned
  SavedSettingsEntry* Next;
};

// Releases the entry, its settings name and every entry after it.
void SavedSettingsFree(SavedSettingsEntry* entry);
