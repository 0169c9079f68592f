#include "files/driver_file_copy.h"

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

TEST_F(FileCopyTest, MissingSourceFailsQuietlyOrWithErrorTenAndFillsTheBuffer) {
  WCHAR out[MAX_PATH];
  EXPECT_EQ(Copy(kSystem, false, out, u"missing.dll"), E_FAIL);
  EXPECT_EQ(std::u16string(out), kSystem + u"\\missing.dll");
  EXPECT_EQ(Copy(kSystem, true, nullptr, u"missing.dll"), E_FAIL);
  EXPECT_EQ(LogLines(context),
            (std::vector<std::string>{
                ">CopyFile missing.dll to C:\\Windows\\system32 [0])", "  Copy Failed :(",
                ">CopyFile missing.dll to C:\\Windows\\system32 [1])",
                "  Error(10): Cant't open source file: missing.dll - (The system cannot find the file specified.)",
                "  Copy Failed :("}));
  EXPECT_EQ(context.ErrorCount, 1);
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
  EXPECT_EQ(LogLines(context).back(), "  Copy Succeeded :)");
  EXPECT_EQ(LogLines(context).size(), 2u);
}

TEST_F(FileCopyTest, DestinationHeldForeverGivesUpAfterAHundredAttempts) {
  machine().files.Put(kTarget, Bytes(10));
  winsim::LockFile(machine(), kTarget);
  EXPECT_EQ(Copy(kSystem, false), E_FAIL);
  EXPECT_EQ(machine().clock.now, 5000u);
  EXPECT_EQ(Copy(kSystem, true), E_FAIL);
  EXPECT_EQ(machine().clock.now, 10000u);
  EXPECT_EQ(LogLines(context),
            (std::vector<std::string>{
                ">CopyFile vexmon64.dll to C:\\Windows\\system32 [0])", "  Copy Failed :(",
                ">CopyFile vexmon64.dll to C:\\Windows\\system32 [1])",
                "  Error(9): Cant't open destination file: C:\\Windows\\system32\\vexmon64.dll" + kSharingText,
                "  Copy Failed :("}));
  EXPECT_EQ(TargetBytes(), Bytes(10));  // untouched
}

TEST_F(FileCopyTest, SlowAttemptsStopAfterTenSecondsEvenAcrossTheTickWrap) {
  machine().clock.tickBase = 0xFFFFFFFFu - 3000;
  machine().files.createFileDelay = 150;
  machine().files.Put(kTarget, Bytes(10));
  winsim::LockFile(machine(), kTarget);
  EXPECT_EQ(Copy(kSystem, true), E_FAIL);
  // The source opens by 150 ms; attempt k fails at 150 + 200 k + 150. The
  // 51st (k = 50) is the first more than 10 s after the start.
  EXPECT_EQ(machine().clock.now, 150u + 200u * 50 + 150u);
  EXPECT_EQ(LogLines(context),
            (std::vector<std::string>{
                ">CopyFile vexmon64.dll to C:\\Windows\\system32 [1])", "  CreateFile - timeout",
                "  Error(9): Cant't open destination file: C:\\Windows\\system32\\vexmon64.dll" + kSharingText,
                "  Copy Failed :("}));
}

TEST_F(FileCopyTest, AShortWriteOnAFullDiskFailsTheCopy) {
  machine().files.Put(kTarget, Bytes(100));
  machine().files.SetFreeBytes(4900);  // and the old copy's 100 bytes, freed by emptying it
  EXPECT_EQ(Copy(kSystem, false), E_FAIL);
  EXPECT_EQ(
      LogLines(context),
      (std::vector<std::string>{
          ">CopyFile vexmon64.dll to C:\\Windows\\system32 [0])",
          "  Error(8): CopyFile(..,C:\\Windows\\system32\\vexmon64.dll) - (There is not enough space on the disk.)",
          "  Copy Failed :("}));
  EXPECT_EQ(TargetBytes().size(), 5000u);
  EXPECT_EQ(context.ErrorCount, 1);
}

TEST_F(FileCopyTest, AReadFailureFailsTheCopy) {
  machine().files.Put(kBin + u"vexmon64.dll", Bytes(20000)).damagedAt = 9000;  // inside the second block
  EXPECT_EQ(Copy(kSystem, false), E_FAIL);
  const auto lines = LogLines(context);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1],
            "  Error(8): CopyFile(..,C:\\Windows\\system32\\vexmon64.dll) - (Data error (cyclic redundancy check).)");
  EXPECT_EQ(lines[2], "  Copy Failed :(");
  EXPECT_EQ(TargetBytes().size(), 8192u);

  machine().FailNext("ReadFile", ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(Copy(kSystem, false, nullptr, u"vexui64.dll"), E_FAIL);
  EXPECT_EQ(LogLines(context)[4],
            "  Error(8): CopyFile(..,C:\\Windows\\system32\\vexui64.dll) - (Not enough memory resources are "
            "available to process this command.)");
  EXPECT_EQ(context.ErrorCount, 2);
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
