#include <string>
#include <vector>

#include "files/pending_deletes.h"
#include "files/pending_renames.h"
#include "shell/string_list.h"
#include "test_support.h"

namespace {

const std::u16string kDir = u"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\";

std::vector<std::string> Items(StringList list) {
  std::vector<std::string> items;
  for (StringListNode* node = list; node != nullptr; node = node->Next) items.push_back(Utf8(node->Text));
  return items;
}

class FileRemovalTest : public ContextTest {
 protected:
  std::u16string File(const std::u16string& name) {
    machine().files.Put(kDir + name, {1, 2, 3});
    return kDir + name;
  }
  bool Exists(const std::u16string& path) { return machine().files.Find(path) != nullptr; }
  void List(std::initializer_list<std::u16string> paths) {
    for (const auto& path : paths) StringListAdd(context.PendingDeletes, path.c_str());
  }
  void SetPending(DWORD type, std::vector<BYTE> bytes) {
    machine().registry.SetValue(winsim::kSessionManagerKey, winsim::kPendingRenamesValue, type, std::move(bytes));
  }
  void SetPending(const std::vector<std::u16string>& strings) {
    SetPending(REG_MULTI_SZ, winsim::MultiStringBytes(strings));
  }
  const winsim::RegistryValue* Pending() {
    return machine().registry.FindValue(winsim::kSessionManagerKey, winsim::kPendingRenamesValue);
  }
  // Each entry as text, "-" for null, with its IsFile flag.
  static std::vector<std::string> Entries(const PendingRenameList& list) {
    std::vector<std::string> entries;
    for (DWORD i = 0; i < list.PairCount * 2; ++i) {
      entries.push_back((list.Paths[i] ? Utf8(list.Paths[i]) : "-") + " " + std::to_string(list.IsFile[i]));
    }
    return entries;
  }
};

TEST_F(FileRemovalTest, DeletingAnEmptyListOnlyLogsTheAttempt) {
  DeleteListedFiles(context);
  EXPECT_EQ(LogLines(context), std::vector<std::string>{"DeleteFile-try"});
  EXPECT_EQ(context.PendingDeletes, nullptr);
}

TEST_F(FileRemovalTest, KeepsExactlyTheFilesThatStayInTheirOrder) {
  const auto a = File(u"a.dll"), b = File(u"b.dll"), c = File(u"c.dll"), d = File(u"d.dll");
  winsim::LockFile(machine(), b);
  winsim::LockFile(machine(), d, ERROR_ACCESS_DENIED);  // a loaded module
  List({a, b, kDir + u"gone.dll", u"C:\\NoSuchDir\\x.dll", c, d});
  context.LogDepth = 1;
  DeleteListedFiles(context);
  // Gone and already-missing files leave the list; a missing directory may be
  // a path that is wrong only for now, so it stays.
  EXPECT_EQ(Items(context.PendingDeletes),
            (std::vector<std::string>{Utf8(d.c_str()), "C:\\NoSuchDir\\x.dll", Utf8(b.c_str())}));
  EXPECT_FALSE(Exists(a));
  EXPECT_FALSE(Exists(c));
  EXPECT_TRUE(Exists(b));
  EXPECT_EQ(LogLines(context), std::vector<std::string>{"  DeleteFile-try"});
  EXPECT_EQ(context.ErrorCount, 0);
}

TEST_F(FileRemovalTest, ScheduledDeletesCountWhatWindowsAcceptedAndEmptyTheList) {
  EXPECT_EQ(ScheduleDeferredDeletes(context), 0u);
  EXPECT_EQ(Pending(), nullptr);

  List({kDir + u"first.dll", kDir + u"second.dll"});  // second is tried first
  machine().FailNext("MoveFileExW", ERROR_ACCESS_DENIED);
  EXPECT_EQ(ScheduleDeferredDeletes(context), 1u);
  EXPECT_EQ(context.PendingDeletes, nullptr);
  ASSERT_NE(Pending(), nullptr);
  EXPECT_EQ(Pending()->type, REG_MULTI_SZ);
  EXPECT_EQ(Pending()->data, winsim::MultiStringBytes({u"\\??\\" + kDir + u"first.dll", u""}));
  EXPECT_TRUE(machine().memory.globalBlocks.empty());
}

TEST_F(FileRemovalTest, ReadsDeletionsAndRenamesInPairs) {
  const auto gone = File(u"gone.dll"), from = File(u"from.dll");
  SetPending({u"\\??\\" + gone, u"", u"\\??\\" + from, u"!\\??\\" + kDir + u"to.dll", u"\\??\\C:\\Windows", u"",
              u"C:\\noprefix.dll", u"", u"\\??\\" + kDir + u"odd.dll"});
  PendingRenameList list = ReadPendingRenames();
  ASSERT_EQ(list.PairCount, 4u);  // the odd last string is ignored
  const std::string dir = Utf8(kDir.c_str());
  EXPECT_EQ(Entries(list), (std::vector<std::string>{"\\??\\" + dir + "gone.dll 1", "- 0",
                                                     "\\??\\" + dir + "from.dll 1", "!\\??\\" + dir + "to.dll 0",
                                                     "\\??\\C:\\Windows 0", "- 0", "C:\\noprefix.dll 0", "- 0"}));
  DeletePendingLeftovers(list);
  EXPECT_FALSE(Exists(gone));
  EXPECT_EQ(list.IsFile[0], 0u);
  EXPECT_TRUE(Exists(from)) << "a rename is never acted on";
  EXPECT_TRUE(machine().files.IsDirectory(u"C:\\Windows"));
  FreePendingRenameList(list);
  EXPECT_EQ(list.Paths, nullptr);
  EXPECT_EQ(list.PairCount, 0u);
  EXPECT_NE(Pending(), nullptr) << "the value is Windows' to change";
  EXPECT_TRUE(machine().memory.globalBlocks.empty());
}

TEST_F(FileRemovalTest, DeletesEveryPendingDeletionThatCanGoNow) {
  std::vector<std::u16string> value;
  std::vector<std::u16string> paths;
  for (auto name : {u"1.dll", u"2.dll", u"3.dll", u"4.dll"}) {
    paths.push_back(File(name));
    value.push_back(u"\\??\\" + paths.back());
    value.push_back(u"");
  }
  SetPending(value);
  PendingRenameList list = ReadPendingRenames();
  ASSERT_EQ(list.PairCount, 4u);
  DeletePendingLeftovers(list);
  for (DWORD k = 0; k < 4; ++k) {
    EXPECT_FALSE(Exists(paths[k])) << k;
    EXPECT_EQ(list.IsFile[2 * k], 0u) << k;
  }
  FreePendingRenameList(list);

  const auto held = File(u"held.dll");
  winsim::LockFile(machine(), held);
  SetPending({u"\\??\\" + held, u""});
  list = ReadPendingRenames();
  DeletePendingLeftovers(list);
  EXPECT_TRUE(Exists(held));
  EXPECT_EQ(list.IsFile[0], 1u) << "still a file";
  FreePendingRenameList(list);
}

TEST_F(FileRemovalTest, MalformedValuesNeverReadPastTheBytesReceived) {
  const auto victim = File(u"victim.dll");
  const std::vector<BYTE> good = winsim::MultiStringBytes({u"\\??\\" + victim, u""});
  std::vector<BYTE> oddLength = good;
  oddLength.push_back(0x41);
  std::vector<BYTE> cutPath(good.begin(), good.begin() + static_cast<long>(good.size()) - 8);  // ends inside the path
  struct Case {
    const char* what;
    DWORD type;
    std::vector<BYTE> bytes;
    DWORD pairs;
  } cases[] = {
      {"well formed", REG_MULTI_SZ, good, 1},
      {"odd byte length", REG_MULTI_SZ, oddLength, 1},
      {"empty", REG_MULTI_SZ, {}, 0},
      {"one byte", REG_MULTI_SZ, {0}, 0},
      {"two bytes", REG_MULTI_SZ, {0, 0}, 0},
      {"three bytes", REG_MULTI_SZ, {0x5C, 0, 0}, 0},
      {"no final zero", REG_MULTI_SZ, std::vector<BYTE>(good.begin(), good.end() - 2), 0},
      {"path without terminator", REG_MULTI_SZ, cutPath, 0},
      {"wrong type", REG_BINARY, good, 0},
      {"string type", REG_SZ, good, 0},
  };
  for (const auto& c : cases) {
    SetPending(c.type, c.bytes);
    PendingRenameList list = ReadPendingRenames();
    EXPECT_EQ(list.PairCount, c.pairs) << c.what;
    EXPECT_EQ(list.Paths == nullptr, c.pairs == 0) << c.what;
    if (c.pairs == 1) {
      EXPECT_EQ(Utf8(list.Paths[0]), "\\??\\" + Utf8(victim.c_str())) << c.what;
    }
    FreePendingRenameList(list);
    EXPECT_TRUE(machine().memory.globalBlocks.empty()) << c.what;
  }
}

TEST_F(FileRemovalTest, MissingValueOrNoMemoryGivesAnEmptyList) {
  PendingRenameList list = ReadPendingRenames();
  EXPECT_EQ(list.PairCount, 0u);
  SetPending({u"\\??\\" + File(u"x.dll"), u""});
  machine().FailNext("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY);
  list = ReadPendingRenames();
  EXPECT_EQ(list.PairCount, 0u);
  EXPECT_EQ(list.Paths, nullptr);
  DeletePendingLeftovers(list);  // harmless on an empty list
  EXPECT_TRUE(Exists(kDir + u"x.dll"));
  EXPECT_TRUE(machine().memory.globalBlocks.empty());
}

TEST_F(FileRemovalTest, ARestartCarriesOutTheScheduledDeletes) {
  const auto held = File(u"held.dll");
  winsim::LockFile(machine(), held, ERROR_ACCESS_DENIED);
  List({held});
  DeleteListedFiles(context);
  ASSERT_EQ(Items(context.PendingDeletes).size(), 1u);
  EXPECT_EQ(ScheduleDeferredDeletes(context), 1u);
  EXPECT_TRUE(Exists(held));

  winsim::Restart(machine());
  EXPECT_FALSE(Exists(held));
  EXPECT_EQ(Pending(), nullptr);
  PendingRenameList list = ReadPendingRenames();
  EXPECT_EQ(list.PairCount, 0u);
}

}  // namespace
