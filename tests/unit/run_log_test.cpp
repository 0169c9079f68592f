#include "shell/run_log.h"

#include <climits>
#include <string>

#include "shell/log_format.h"
#include "test_support.h"

namespace {

using RunLogTest = ContextTest;

TEST_F(RunLogTest, LinesAreIndentedTwoBlanksPerLevelUpToTenLevels) {
  for (LONG depth : {0, 1, 12, -3}) {
    context.LogDepth = depth;
    LogLine(context, TEXT("depth %d"), depth);
  }
  EXPECT_EQ(LogLines(context),
            (std::vector<std::string>{"depth 0", "  depth 1", std::string(20, ' ') + "depth 12", "depth -3"}));
  // A section scope restores the depth on its way out.
  context.LogDepth = 2;
  {
    LogDepthScope section(context, 2);
    EXPECT_EQ(context.LogDepth, 4);
  }
  EXPECT_EQ(context.LogDepth, 2);
}

TEST_F(RunLogTest, AbsentOrEmptyTextStillEndsTheLine) {
  WriteLogLine(context, nullptr);
  EXPECT_EQ(Utf8(context.LogText), "\r\n");
  context.LogDepth = 1;
  WriteLogLine(context, TEXT(""));
  EXPECT_EQ(Utf8(context.LogText), "\r\n  \r\n");
  EXPECT_EQ(TextString(context.LogText)[TextLength(context.LogText)], 0);
}

// The error's number and text, then the system's text of the last error
// (none for 0), which the line leaves as it found it; each line counts.
TEST_F(RunLogTest, ErrorLineCarriesNumberTextAndSystemTextAndCounts) {
  context.LogDepth = 3;
  SetLastError(ERROR_ACCESS_DENIED);
  LogError(context, ErrorInstallDriver);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  context.LogDepth = 0;
  SetLastError(0x2468ACE);  // no text in the system's table
  LogError(context, ErrorOpenDestination, TEXT("C:\\x.dll"));
  SetLastError(0);
  LogError(context, ErrorStartSpooler);
  EXPECT_EQ(LogLines(context),
            (std::vector<std::string>{
                "      Error(13): Can`t install a printer driver 'Ravelquill printer' - (Access is denied.)",
                "Error(9): Cant't open destination file: C:\\x.dll - ( No Description )",
                "Error(4): Can't start the spooler"}));
  EXPECT_EQ(context.ErrorCount, 3);
}

TEST_F(RunLogTest, FormatsPlaceholdersAsTheWindowsRunTimeDoes) {
  SetLastError(ERROR_ACCESS_DENIED);
  LogError(context, ErrorControlService, 5, 5);
  LogLine(context, TEXT("%d %d %x %u %s|%s|100%% %q"), INT_MIN, -1, 0xBEEFu, 4000000000u, TEXT("wide"),
          static_cast<LPCWSTR>(nullptr));
  EXPECT_EQ(LogLines(context),
            (std::vector<std::string>{"Error(5): ControlService failed with code 5 (0x5) - (Access is denied.)",
                                      "-2147483648 -1 beef 4000000000 wide|(null)|100% %q"}));
}

TEST_F(RunLogTest, OverlongLinesAreCutToTheLineBoundAndStillEnd) {
  const std::u16string name(3000, u'n');
  LogLine(context, TEXT(">DeletePrinter(%s)"), name.c_str());
  SetLastError(ERROR_ACCESS_DENIED);
  LogError(context, ErrorDeletePrinter, name.c_str());
  const auto lines = LogLines(context);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].size(), 1023u);
  EXPECT_EQ(lines[0].substr(0, 15), ">DeletePrinter(");
  EXPECT_EQ(lines[1].size(), 1023u);
  EXPECT_EQ(lines[1].substr(0, 11), "Error(17): ");
  EXPECT_EQ(context.ErrorCount, 1);
}

TEST(LogFormat, NeverWritesPastTheCapacity) {
  WCHAR out[8];
  for (auto& c : out) c = u'#';
  EXPECT_EQ(AppendFormat(out, 6, 0, TEXT("%s%d"), TEXT("abcdefgh"), 42), 5u);
  EXPECT_EQ(std::u16string(out), u"abcde");
  EXPECT_EQ(out[6], u'#');
  EXPECT_EQ(AppendFormat(out, 6, 5, TEXT("more")), 5u);  // full: unchanged
  EXPECT_EQ(AppendFormat(out, 8, 2, TEXT("%")), 2u);     // a lone % ends the text
  EXPECT_EQ(std::u16string(out), u"ab");
}

}  // namespace
