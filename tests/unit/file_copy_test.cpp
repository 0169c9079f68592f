#include "files/driver_file_copy.h"

#include <functional>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

const std::u16string kBin = u"C:\\Program Files\\Ravelquill\\bin\\";
const std::u16string kSystem = u"C:\\Windows\\system32";
const std::u16string kTarget = kSystem + u"\\vexmon64.dll";
const std::string kSharingText = " - (The process cannot access the file because it is being used by another process.)";

std::vector<std::uint8_t> Bytes(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return bytes;
}

class FileCopyTest : public ContextTest {
 protected:
  FileCopyTest() { TextAssign(context.InstallDir, kBin.c_str()); }
  ~FileCopyTest() override { EXPECT_EQ(context.LogDepth, 0); }
  HRESULT Copy(const std::u16string& dir, bool report, LPWSTR out = nullptr,
               const std::u16string& name = u"vexmon64.dll") {
    return CopyDriverFile(context, dir.c_str(), name.c_str(), out, report);
  }
  void RemoveSource() { machine().files.files.erase(winsim::FoldCase(kBin + u"vexmon64.dll")); }
  std::vector<std::uint8_t> TargetBytes() {
    const winsim::File* file = machine().files.Find(kTarget);
    return file ? file->data : std::vector<std::uint8_t>{};
  }
};

TEST_F(FileCopyTest, CopiesEverySizeAcrossBlockBoundaries) {
  // 8192 bytes fill the block exactly: only a second, empty read ends the copy.
  for (std::size_t size : {0u, 1u, 8191u, 8192u, 8193u, 20000u}) {
    machine().files.Put(kBin + u"vexmon64.dll", Bytes(size));
    machine().files.Put(kTarget, Bytes(5));  // an older copy is replaced, not extended
    EXPECT_EQ(Copy(kSystem, true), S_OK) << size;
    EXPECT_EQ(TargetBytes(), Bytes(size)) << size;
  }
  EXPECT_EQ(context.ErrorCount, 0);
}

TEST_F(FileCopyTest, LogsTheSectionAndKeepsTheModulesVersion) {
  WCHAR out[MAX_PATH];
  EXPECT_EQ(Copy(kSystem + u"\\", false, out), S_OK);  // no second backslash
  EXPECT_EQ(LogLines(context), (std::vector<std::string>{">CopyFile vexmon64.dll to C:\\Windows\\system32\\ [0])",
                                                         "  Copy Succeeded :)"}));
  EXPECT_EQ(std::u16string(out), kTarget);
  ASSERT_NE(machine().files.Find(kTarget), nullptr);
  ASSERT_TRUE(machine().files.Find(kTarget)->version.has_value());
  EXPECT_EQ(machine().files.Find(kTarget)->version->revision, 2446);
}

TEST_F(FileCopyTest, EmptyDestinationDirectoryMeansTheCurrentDirectory) {
  machine().files.currentDirectory = u"C:\\Program Files";
  WCHAR out[MAX_PATH];
  EXPECT_EQ(Copy(u"", true, out), S_OK);
  EXPECT_EQ(std::u16string(out), u"vexmon64.dll");
  EXPECT_NE(machine().files.Find(u"C:\\Program Files\\vexmon64.dll"), nullptr);
  EXPECT_EQ(LogLines(context)[0], ">CopyFile vexmon64.dll to  [1])");
}

TEST_F(FileCopyTest, MissingSourceFailsAndStillFillsTheBuffer) {
  WCHAR out[MAX_PATH];
  EXPECT_EQ(Copy(kSystem, false, out, u"missing.dll"), E_FAIL);
  EXPECT_EQ(std::u16string(out), kSystem + u"\\missing.dll");
  EXPECT_EQ(machine().files.Find(kSystem + u"\\missing.dll"), nullptr);
}

TEST_F(FileCopyTest, DestinationHeldForTwoSecondsIsRetriedUntilFree) {
  // Near the tick counter's wrap: the ten-second bound must not fire early.
  machine().clock.tickBase = 0xFFFFFFFFu - 1000;
  machine().files.Put(kTarget, Bytes(10));
  ASSERT_NE(winsim::LockFile(machine(), kTarget, ERROR_SHARING_VIOLATION, false, 2000), 0);
  EXPECT_EQ(Copy(kSystem, true), S_OK);
  EXPECT_EQ(machine().clock.now, 2000u);  // the 41st attempt, 40 pauses of 50 ms later
  EXPECT_EQ(TargetBytes(), machine().files.Find(kBin + u"vexmon64.dll")->data);
  EXPECT_EQ(LogLines(context),
            (std::vector<std::string>{">CopyFile vexmon64.dll to C:\\Windows\\system32 [1])", "  Copy Succeeded :)"}));
}

// Each failure is logged, as error 8, 9 or 10 when the copy reports errors,
// and leaves the destination as the failure left it.
TEST_F(FileCopyTest, EachFailureHasItsErrorLine) {
  const std::string opened = "Error(9): Cant't open destination file: C:\\Windows\\system32\\vexmon64.dll",
                    copy = "Error(8): CopyFile(..,C:\\Windows\\system32\\vexmon64.dll) - (";
  struct Case {
    const char* what;
    std::function<void()> arrange;
    bool report;
    std::vector<std::string> lines;  // between the section and "Copy Failed :("
    std::uint64_t ms;
    std::size_t left;  // bytes at the destination afterwards
  };
  const auto held = [&] {
    machine().files.Put(kTarget, Bytes(10));
    winsim::LockFile(machine(), kTarget);
  };
  // clang-format off
  const Case cases[] = {
      {"missing source, quiet", [&] { RemoveSource(); }, false, {}, 0, 0},
      {"missing source", [&] { RemoveSource(); }, true,
       {"Error(10): Cant't open source file: vexmon64.dll - (The system cannot find the file specified.)"}, 0, 0},
      {"held forever, quiet", held, false, {}, 5000, 10},  // a hundred attempts
      {"held forever", held, true, {opened + kSharingText}, 5000, 10},
      // The source opens by 150 ms; attempt k fails at 150 + 200 k + 150. The
      // 51st (k = 50) is the first more than 10 s after the start.
      {"slow attempts across the tick wrap", [&] {
         held();
         machine().clock.tickBase = 0xFFFFFFFFu - 3000;
         machine().files.createFileDelay = 150;
       }, true, {"CreateFile - timeout", opened + kSharingText}, 150 + 200 * 50 + 150, 10},
      // The old copy's 100 bytes are freed by emptying it.
      {"full disk", [&] {
         machine().files.Put(kTarget, Bytes(100));
         machine().files.SetFreeBytes(4900);
       }, false, {copy + "There is not enough space on the disk.)"}, 0, 5000},
      {"damaged source", [&] { machine().files.Put(kBin + u"vexmon64.dll", Bytes(20000)).damagedAt = 9000; }, false,
       {copy + "Data error (cyclic redundancy check).)"}, 0, 8192},
      {"read refused", [&] { machine().FailNext("ReadFile", ERROR_NOT_ENOUGH_MEMORY); }, false,
       {copy + "Not enough memory resources are available to process this command.)"}, 0, 0},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FreshRun();
    TextAssign(context.InstallDir, kBin.c_str());
    c.arrange();
    EXPECT_EQ(Copy(kSystem, c.report), E_FAIL);
    std::vector<std::string> lines = {std::string(">CopyFile vexmon64.dll to C:\\Windows\\system32 [") +
                                      (c.report ? "1])" : "0])")};
    for (const std::string& line : c.lines) lines.push_back("  " + line);
    lines.push_back("  Copy Failed :(");
    EXPECT_EQ(LogLines(context), lines);
    EXPECT_EQ(context.ErrorCount, c.lines.empty() || c.lines.back().rfind("Error(", 0) != 0 ? 0 : 1);
    EXPECT_EQ(machine().clock.now, c.ms);
    EXPECT_EQ(TargetBytes().size(), c.left);
  }
}

TEST_F(FileCopyTest, APathTooLongForTheCallersBufferFailsAndIsNeverCut) {
  const std::u16string dir = u"C:\\" + std::u16string(250, u'd');
  machine().files.AddDirectory(dir);
  WCHAR out[MAX_PATH + 2];
  out[0] = u'#';
  out[MAX_PATH] = out[MAX_PATH + 1] = u'#';
  EXPECT_EQ(Copy(dir, true, out), E_FAIL);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[MAX_PATH], u'#');
  const auto lines = LogLines(context);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1], "  Error(9): Cant't open destination file: " + winsim::Narrow(dir) +
                          "\\vexmon64.dll - (The filename or extension is too long.)");
  EXPECT_EQ(machine().clock.now, 0u) << "nothing was tried";
}

}  // namespace
