// Lookups by folded name: the spooler's records through an index that must
// stay in step with them through every change and keep the order Windows
// lists them in; keys and paths below another by their place in the
// folded order. And the order in which each spooler call checks what it
// is given.
#include <windows.h>
#include <winspool.h>

#include <string>
#include <vector>

#include <winsim/machine.h>
#include <winsim_presets/queues.h>

#include "test_support.h"

namespace {

using winsim::Printer;
using winsim::Records;

Printer Named(const char16_t* name) {
  Printer printer;
  printer.name = name;
  return printer;
}

std::vector<std::u16string> Names(const Records<Printer>& printers) {
  std::vector<std::u16string> names;
  for (const Printer& p : printers) names.push_back(p.name);
  return names;
}

// What a lookup by folded name finds: the record's name, or "" for none.
std::u16string Found(const Records<Printer>& printers, const char16_t* name) {
  const Printer* p = printers.Find(winsim::FoldCase(name));
  return p != nullptr ? p->name : u"";
}

TEST(RecordsTest, LookupsFollowEveryChangeAndOrderStaysThatOfAddition) {
  struct Case {
    const char* change;
    void (*apply)(Records<Printer>&);
    std::vector<std::u16string> order;
    std::vector<std::pair<const char16_t*, std::u16string>> lookups;  // name asked -> name found
  };
  const Case cases[] = {
      {"added", [](Records<Printer>&) {}, {u"A", u"B", u"C"}, {{u"a", u"A"}, {u"C", u"C"}, {u"D", u""}}},
      {"middle erased", [](Records<Printer>& r) { r.erase(r.Find(u"B")); }, {u"A", u"C"}, {{u"B", u""}, {u"c", u"C"}}},
      {"renamed in place",
       [](Records<Printer>& r) { r.Rename(*r.Find(u"B"), u"Zed"); },
       {u"A", u"Zed", u"C"},
       {{u"b", u""}, {u"ZED", u"Zed"}}},
      {"last taken off, another added",
       [](Records<Printer>& r) {
         r.pop_back();
         r.push_back(Named(u"D"));
       },
       {u"A", u"B", u"D"},
       {{u"C", u""}, {u"d", u"D"}}},
      {"a second of the same name is not found while the first is",
       [](Records<Printer>& r) { r.push_back(Named(u"b")); },
       {u"A", u"B", u"C", u"b"},
       {{u"B", u"B"}}},
      {"the first of two gone, the second is found",
       [](Records<Printer>& r) {
         r.push_back(Named(u"b"));
         r.erase(r.Find(u"B"));
       },
       {u"A", u"C", u"b"},
       {{u"B", u"b"}}},
      {"the first of two renamed away, the second is found",
       [](Records<Printer>& r) {
         r.push_back(Named(u"b"));
         r.Rename(*r.Find(u"B"), u"E");
       },
       {u"A", u"E", u"C", u"b"},
       {{u"B", u"b"}, {u"E", u"E"}}},
      {"cleared", [](Records<Printer>& r) { r.clear(); }, {}, {{u"A", u""}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.change);
    Records<Printer> printers{Named(u"A"), Named(u"B"), Named(u"C")};
    c.apply(printers);
    EXPECT_EQ(Names(printers), c.order);
    for (const auto& [asked, found] : c.lookups) EXPECT_EQ(Found(printers, asked), found) << winsim::Narrow(asked);
  }
}

// A copy (a machine copied for each run) finds its own records, and
// changing one side leaves the other as it was.
TEST(RecordsTest, CopyFindsItsOwnRecords) {
  Records<Printer> original{Named(u"A"), Named(u"B")};
  Records<Printer> copy = original;
  copy.Find(u"A")->comment = u"copy's";
  copy.erase(copy.Find(u"B"));
  EXPECT_EQ(original.Find(u"A")->comment, u"");
  EXPECT_EQ(Found(original, u"B"), u"B");
  EXPECT_EQ(Found(copy, u"B"), u"");
  Records<Printer> moved = std::move(copy);
  EXPECT_EQ(moved.Find(u"A")->comment, u"copy's");
}

using SpoolerLookupTest = MachineTest;

// SetPrinterW's new name is the one OpenPrinterW finds; the old one is gone.
TEST_F(SpoolerLookupTest, RenamedPrinterIsOpenedByItsNewNameOnly) {
  winsim::presets::AddPrinter(machine(), u"Old", u"LPT1:", u"Microsoft Print To PDF");
  HANDLE printer = nullptr;
  PRINTER_DEFAULTSW admin{nullptr, nullptr, PRINTER_ALL_ACCESS};
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"old"), &printer, &admin));
  DWORD needed = 0;
  GetPrinterW(printer, 2, nullptr, 0, &needed);
  std::vector<BYTE> block(needed);
  ASSERT_TRUE(GetPrinterW(printer, 2, block.data(), needed, &needed));
  auto* info = reinterpret_cast<PRINTER_INFO_2W*>(block.data());
  info->pPrinterName = const_cast<LPWSTR>(u"New");
  ASSERT_TRUE(SetPrinterW(printer, 2, block.data(), 0));
  EXPECT_TRUE(ClosePrinter(printer));

  HANDLE again = nullptr;
  SetLastError(kPoisonError);
  EXPECT_FALSE(OpenPrinterW(const_cast<LPWSTR>(u"Old"), &again, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"NEW"), &again, nullptr));
  EXPECT_TRUE(ClosePrinter(again));
}

// Keys that share the start of a name, but lie beside the key rather than
// below it, are not its subkeys; the same for directories and drives.
TEST_F(SpoolerLookupTest, WhatLiesBelowIsFoundByTheFoldedPrefixOnly) {
  winsim::Registry& registry = machine().registry;
  const std::u16string key = u"HKLM\\SOFTWARE\\Lookup\\B";
  for (const char16_t* beside :
       {u"HKLM\\SOFTWARE\\Lookup\\B2", u"HKLM\\SOFTWARE\\Lookup\\BZ", u"HKLM\\SOFTWARE\\Lookup\\B_"}) {
    registry.CreateKey(beside);
  }
  registry.CreateKey(key);
  EXPECT_FALSE(registry.HasSubKeys(key));
  registry.CreateKey(u"hkey_local_machine\\software\\lookup\\b\\c");
  EXPECT_TRUE(registry.HasSubKeys(key));
  EXPECT_TRUE(registry.HasSubKeys(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\LOOKUP\\b\\"));

  winsim::FileSystem& files = machine().files;
  EXPECT_FALSE(files.IsDirectory(u"D:\\"));
  files.Put(u"d:\\data\\x.bin");
  EXPECT_TRUE(files.IsDirectory(u"D:\\"));
  EXPECT_FALSE(files.IsDirectory(u"E:\\"));
}

// Given a remote server and a wrong level, each call reports what it checks
// first; a wrong environment only after the server, level and parameters.
LPWSTR const kRemote = const_cast<LPWSTR>(u"\\\\elsewhere");
LPWSTR const kBogus = const_cast<LPWSTR>(u"Windows 3.11");
MONITOR_INFO_2W monitorInfo{const_cast<LPWSTR>(u"M"), nullptr, const_cast<LPWSTR>(u"localspl.dll")};
LPBYTE const kMonitor = reinterpret_cast<LPBYTE>(&monitorInfo);
BYTE block[64];
DWORD needed, count;

TEST_F(SpoolerLookupTest, EachCallChecksServerLevelAndEnvironmentInItsOwnOrder) {
  const struct {
    const char* call;
    bool (*fails)();
    DWORD error;
  } cases[] = {
      {"EnumMonitorsW", [] { return !EnumMonitorsW(kRemote, 3, block, 64, &needed, &count); }, ERROR_INVALID_LEVEL},
      {"EnumPrintersW", [] { return !EnumPrintersW(PRINTER_ENUM_LOCAL, kRemote, 1, block, 64, &needed, &count); },
       ERROR_INVALID_LEVEL},
      {"EnumPrinterDriversW", [] { return !EnumPrinterDriversW(kRemote, kBogus, 1, block, 64, &needed, &count); },
       ERROR_INVALID_LEVEL},
      {"EnumPrinterDriversW, environment",
       [] { return !EnumPrinterDriversW(nullptr, kBogus, 2, block, 64, &needed, &count); }, ERROR_INVALID_ENVIRONMENT},
      {"AddMonitorW", [] { return !AddMonitorW(kRemote, 1, kMonitor); }, ERROR_INVALID_LEVEL},
      {"AddMonitorW, environment",
       [] {
         monitorInfo.pEnvironment = kBogus;
         return !AddMonitorW(nullptr, 2, kMonitor);
       },
       ERROR_INVALID_ENVIRONMENT},
      {"DeleteMonitorW", [] { return !DeleteMonitorW(kRemote, kBogus, nullptr); }, ERROR_INVALID_NAME},
      {"DeleteMonitorW, no monitor", [] { return !DeleteMonitorW(nullptr, kBogus, nullptr); }, ERROR_INVALID_PARAMETER},
      {"DeleteMonitorW, environment", [] { return !DeleteMonitorW(nullptr, kBogus, monitorInfo.pName); },
       ERROR_INVALID_ENVIRONMENT},
      {"AddPrinterDriverExW", [] { return !AddPrinterDriverExW(kRemote, 1, nullptr, 0); }, ERROR_INVALID_LEVEL},
      {"AddPrinterDriverExW, no driver", [] { return !AddPrinterDriverExW(nullptr, 3, nullptr, 0); },
       ERROR_INVALID_PARAMETER},
      {"GetPrinterDriverDirectoryW", [] { return !GetPrinterDriverDirectoryW(kRemote, kBogus, 2, block, 64, &needed); },
       ERROR_INVALID_NAME},
      {"GetPrinterDriverDirectoryW, level",
       [] { return !GetPrinterDriverDirectoryW(nullptr, kBogus, 2, block, 64, nullptr); }, ERROR_INVALID_LEVEL},
      {"GetPrinterDriverDirectoryW, no size",
       [] { return !GetPrinterDriverDirectoryW(nullptr, kBogus, 1, block, 64, nullptr); }, RPC_X_NULL_REF_POINTER},
      {"AddPrinterW", [] { return AddPrinterW(kRemote, 1, nullptr) == nullptr; }, ERROR_INVALID_NAME},
      {"AddPrinterW, level", [] { return AddPrinterW(nullptr, 1, nullptr) == nullptr; }, ERROR_INVALID_LEVEL},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.call);
    SetLastError(kPoisonError);
    EXPECT_TRUE(c.fails());
    EXPECT_EQ(GetLastError(), c.error);
  }
  EXPECT_EQ(machine().spooler.FindMonitor(u"M", u"Windows x64"), nullptr);
}

}  // namespace
