#include "saved_settings.h"

void SavedSettingsFree(SavedSettingsEntry* entry) {
  while (entry != nullptr) {
    SavedSettingsEntry* next = entry->Next;
    if (entry->SettingsName != nullptr) GlobalFree(entry->SettingsName);
    GlobalFree(entry);
    entry = next;
  }
}
