#include <string>
#include <vector>

#include "files/pending_deletes.h"
#include "files/pending_renames.h"
#include "shell/string_list.h"
#include "test_support.h"

namespace {

const std::u16string kDir = u"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\";

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
  // An empty list: the attempt is logged, nothing is scheduled.
  DeleteListedFiles(context);
  EXPECT_EQ(LogLines(context), std::vector<std::string>{"DeleteFile-try"});
  EXPECT_EQ(ScheduleDeferredDeletes(context), 0u);
  EXPECT_EQ(Pending(), nullptr);

  List({kDir + u"first.dll", kDir + u"second.dll"});  // second is tried first
  machine().FailNext("MoveFileExW", ERROR_ACCESS_DENIED);
  EXPECT_EQ(ScheduleDeferredDeletes(context), 1u);
  EXPECT_EQ(context.PendingDeletes, nullptr);
  ASSERT_NE(Pending(), nullptr);
  EXPECT_EQ(Pending()->type, REG_MULTI_SZ);
  EXPECT_EQ(Pending()->data, winsim::MultiStringBytes({u"\\??\\" + kDir + u"first.dll", u""}));
}

// Every deletion that can go now goes, and its entry stops being a file;
// renames, directories and paths without the prefix are left alone.
TEST_F(FileRemovalTest, ReadsDeletionsAndRenamesInPairs) {
  const auto gone = File(u"gone.dll"), from = File(u"from.dll"), held = File(u"held.dll"), last = File(u"last.dll");
  winsim::LockFile(machine(), held);
  SetPending({u"\\??\\" + gone, u"", u"\\??\\" + from, u"!\\??\\" + kDir + u"to.dll", u"\\??\\" + held, u"",
              u"\\??\\C:\\Windows", u"", u"C:\\noprefix.dll", u"", u"\\??\\" + last, u"",
              u"\\??\\" + kDir + u"odd.dll"});
  PendingRenameList list = ReadPendingRenames();
  ASSERT_EQ(list.PairCount, 6u);  // the odd last string is ignored
  const std::string dir = "\\??\\" + Utf8(kDir.c_str());
  const std::vector<std::string> read = {dir + "gone.dll 1",   "- 0", dir + "from.dll 1",    "!" + dir + "to.dll 0",
                                         dir + "held.dll 1",   "- 0", "\\??\\C:\\Windows 0", "- 0",
                                         "C:\\noprefix.dll 0", "- 0", dir + "last.dll 1",    "- 0"};
  EXPECT_EQ(Entries(list), read);
  DeletePendingLeftovers(list);
  std::vector<std::string> after = read;
  after[0] = dir + "gone.dll 0", after[10] = dir + "last.dll 0";
  EXPECT_EQ(Entries(list), after);
  EXPECT_FALSE(Exists(gone) || Exists(last));
  EXPECT_TRUE(Exists(held));
  EXPECT_TRUE(Exists(from)) << "a rename is never acted on";
  EXPECT_TRUE(machine().files.IsDirectory(u"C:\\Windows"));
  FreePendingRenameList(list);
  EXPECT_EQ(list.Paths, nullptr);
  EXPECT_EQ(list.PairCount, 0u);
  EXPECT_NE(Pending(), nullptr) << "the value is Windows' to change";
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
}

}  // namespace
