#include "shell/string_list.h"

#include <cstring>
#include <string>
#include <vector>

#include "shell/saved_settings.h"
#include "test_support.h"

namespace {

using StringListTest = MachineTest;

TEST_F(StringListTest, NewestFirstWithoutExactDuplicates) {
  StringList list = nullptr;
  StringListAdd(list, TEXT("C:\\a.dll"));
  StringListAdd(list, TEXT("C:\\b.dll"));
  StringListAdd(list, TEXT("C:\\c.dll"));
  StringListAdd(list, TEXT("C:\\b.dll"));  // already listed
  StringListAdd(list, TEXT("C:\\A.DLL"));  // differs in case: a path of its own
  StringListAdd(list, TEXT(""));           // empty and absent strings are not added
  StringListAdd(list, nullptr);
  EXPECT_EQ(Items(list), (std::vector<std::string>{"C:\\A.DLL", "C:\\c.dll", "C:\\b.dll", "C:\\a.dll"}));
  StringListFree(list);
  StringListFree(nullptr);  // harmless
}

TEST_F(StringListTest, DuplicateIsAZeroTerminatedGlobalBlock) {
  EXPECT_EQ(DuplicateString(TEXT("")), nullptr);
  EXPECT_EQ(DuplicateString(nullptr), nullptr);
  LPWSTR copy = DuplicateString(TEXT("path"));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(machine().memory.globalBlocks.at(copy), 5 * sizeof(WCHAR));
  EXPECT_EQ(Utf8(copy), "path");
  GlobalFree(copy);
}

TEST_F(StringListTest, AFailedNodeAllocationEndsTheRunAndLeavesTheListValid) {
  StringList list = nullptr;
  StringListAdd(list, TEXT("first"));
  machine().FailNext("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(RunCode([&] { StringListAdd(list, TEXT("second")); }), std::optional<UINT>(100));
  EXPECT_EQ(Items(list), std::vector<std::string>{"first"});
  StringListFree(list);
}

TEST_F(StringListTest, SavedSettingsFreeReleasesEntriesAndNames) {
  SavedSettingsEntry* chain = nullptr;
  for (const char* name : std::vector<const char*>{"one", nullptr, "three"}) {
    auto* entry = static_cast<SavedSettingsEntry*>(GlobalAlloc(GPTR, sizeof(SavedSettingsEntry)));
    if (name) {
      entry->SettingsName = static_cast<LPSTR>(GlobalAlloc(GPTR, 8));
      std::strcpy(entry->SettingsName, name);
    }
    entry->Next = chain;
    chain = entry;
  }
  SavedSettingsFree(chain);  // the fixture finds no block left
}

}  // namespace
