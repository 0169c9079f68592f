#include "shell/command_line.h"

#include <shellapi.h>

#include <cctype>
#include <ostream>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

using CommandLineTest = MachineTest;

std::vector<std::string> Split(const char16_t* line) {
  int count = -1;
  LPWSTR* args = CommandLineToArgvW(line, &count);
  std::vector<std::string> out;
  if (args == nullptr) return out;
  for (int i = 0; i < count; ++i) out.push_back(Utf8(args[i]));
  EXPECT_EQ(args[count], nullptr);
  LocalFree(args);
  return out;
}

TEST_F(CommandLineTest, SplitsWithWindowsRulesForQuotesAndBackslashes) {
  using V = std::vector<std::string>;
  EXPECT_EQ(Split(u"\"C:\\Program Files\\x.exe\" in"), (V{"C:\\Program Files\\x.exe", "in"}));
  EXPECT_EQ(Split(u"C:\\a\\x.exe   in \t 123  "), (V{"C:\\a\\x.exe", "in", "123"}));
  EXPECT_EQ(Split(u"x \"a b\" c\\\\\"d e\" f\\\"g h\\i"), (V{"x", "a b", "c\\d e", "f\"g", "h\\i"}));
  EXPECT_EQ(Split(u"x \"\" a\"\"\"b"), (V{"x", "", "a\"b"}));
  EXPECT_EQ(Split(u"\"C:\\x\\\"y in"), (V{"C:\\x\\", "y", "in"}));  // no escapes in the program path
  EXPECT_EQ(Split(u"x.exe"), (V{"x.exe"}));
  EXPECT_EQ(Split(u""), (V{"C:\\Program Files\\Ravelquill\\bin\\vexinst64.exe"}));
  EXPECT_TRUE(machine().memory.localBlocks.empty());
}

TEST(ReadSignedDecimal, ReadsLikeTheRunTimeAndClampsToThirtyTwoBits) {
  struct Case {
    const char16_t* text;
    LONG value;
  } cases[] = {
      {u"0", 0},
      {u"  \t66338", 66338},
      {u"+12", 12},
      {u"-7", -7},
      {u"12abc", 12},
      {u"abc", 0},
      {u"-", 0},
      {u"--5", 0},
      {u"2147483647", 2147483647},
      {u"2147483648", 2147483647},
      {u"-2147483648", -2147483647 - 1},
      {u"-99999999999999999999", -2147483647 - 1},
      {u"99999999999999999999999999", 2147483647},
      {u"", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(ReadSignedDecimal(c.text), c.value) << Utf8(c.text);
}

TEST_F(CommandLineTest, OwnerWindowMustNameAnExistingWindow) {
  HWND window = machine().desktop.CreateWindow(u"SetupWindow", u"Setup");
  const std::u16string number = winsim::Widen(std::to_string(reinterpret_cast<LONG_PTR>(window)));
  EXPECT_EQ(ParseOwnerWindow(number.c_str()), window);
  EXPECT_EQ(ParseOwnerWindow(u"0"), nullptr);
  EXPECT_EQ(ParseOwnerWindow(u"12345"), nullptr);
  EXPECT_EQ(ParseOwnerWindow(u"window"), nullptr);
}

TEST_F(CommandLineTest, NegativeHandlesAreWidenedWithTheirSign) {
  HWND negative = reinterpret_cast<HWND>(static_cast<LONG_PTR>(-66000));
  machine().desktop.windows[negative].className = u"Setup";
  EXPECT_EQ(ParseOwnerWindow(u"-66000"), negative);
}

struct WordCase {
  const char16_t* arguments;
  int exitCode;
};

void PrintTo(const WordCase& c, std::ostream* os) { *os << "\"" << Utf8(c.arguments) << "\" -> " << c.exitCode; }

class CommandWordTest : public MachineTest, public ::testing::WithParamInterface<WordCase> {};

TEST_P(CommandWordTest, ExitCode) { EXPECT_EQ(Run(GetParam().arguments), GetParam().exitCode); }

INSTANTIATE_TEST_SUITE_P(Words, CommandWordTest,
                         ::testing::Values(WordCase{u"", 6}, WordCase{u"unknown", 6}, WordCase{u"DEF.SET", 6},
                                           WordCase{u"def.setx", 6}, WordCase{u"Def.set", 6}, WordCase{u"installx", 6},
                                           WordCase{u"i\u0130nstall", 6}, WordCase{u"in", 1}, WordCase{u"INSTALL", 1},
                                           WordCase{u"ServerInstall", 1}, WordCase{u"In_NoTray", 1},
                                           WordCase{u"in 0", 1}, WordCase{u"in 1 2", 1}, WordCase{u"un", 2},
                                           WordCase{u"UNINSTALL", 2}, WordCase{u"\"\"", 6}),
                         [](const ::testing::TestParamInfo<WordCase>& info) {
                           std::string name;
                           for (char c : Utf8(info.param.arguments))
                             name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           return std::to_string(info.index) + "_" + name + "_gives_" +
                                  std::to_string(info.param.exitCode);
                         });

TEST_F(CommandLineTest, OnlyTheProgramPathGivesSix) {
  EXPECT_EQ(winsim::RunWinMain(winsim::presets::kInstallerPath, winsim::presets::InstallerCommandLine()), 6);
  EXPECT_EQ(winsim::RunWinMain(winsim::presets::kInstallerPath, u""), 6);
  EXPECT_TRUE(machine().memory.localBlocks.empty());
}

TEST_F(CommandLineTest, AnUnsplittableCommandLineRunsNothing) {
  machine().FailNext("CommandLineToArgvW", ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(Run(u"in"), 6);
}

TEST_F(CommandLineTest, InstallAndUninstallReleaseWhatTheyTook) {
  EXPECT_EQ(Run(u"in"), 1);
  EXPECT_EQ(Run(u"un"), 2);
  EXPECT_TRUE(machine().memory.globalBlocks.empty());
  EXPECT_TRUE(machine().memory.localBlocks.empty());
}

TEST_F(CommandLineTest, AnErrorLineMakesTheInstallExitWithHundred) {
  machine().FailNext("GetSystemDirectoryW", ERROR_ACCESS_DENIED);
  EXPECT_EQ(Run(u"install"), 100);
  machine().FailNext("GetSystemDirectoryW", ERROR_ACCESS_DENIED);
  EXPECT_EQ(Run(u"uninstall"), 100);
}

}  // namespace
