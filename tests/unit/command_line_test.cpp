#include "shell/command_line.h"

#include <shellapi.h>

#include <map>
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
  // Negative handles are widened with their sign.
  HWND negative = reinterpret_cast<HWND>(static_cast<LONG_PTR>(-66000));
  machine().desktop.windows[negative].className = u"Setup";
  EXPECT_EQ(ParseOwnerWindow(u"-66000"), negative);
}

// Command words are matched whole, ignoring case in ASCII only; anything
// else runs nothing and exits with 6.
TEST_F(CommandLineTest, TheCommandWordGivesTheExitCode) {
  const std::map<int, std::vector<std::u16string>> words = {
      {6, {u"", u"unknown", u"DEF.SET", u"def.setx", u"Def.set", u"installx", u"i\u0130nstall", u"\"\""}},
      {1, {u"in", u"INSTALL", u"ServerInstall", u"In_NoTray", u"in 0", u"in 1 2"}},
      {2, {u"un", u"UNINSTALL"}}};
  for (const auto& [exitCode, arguments] : words) {
    for (const auto& argument : arguments) {
      NextMachine();
      EXPECT_EQ(Run(argument), exitCode) << winsim::Narrow(argument);
    }
  }
  // Only the program path, or nothing at all.
  EXPECT_EQ(winsim::RunWinMain(winsim::presets::kInstallerPath, winsim::presets::InstallerCommandLine()), 6);
  EXPECT_EQ(winsim::RunWinMain(winsim::presets::kInstallerPath, u""), 6);
  // A command line that cannot be split runs nothing.
  machine().FailNext("CommandLineToArgvW", ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(Run(u"in"), 6);
}

}  // namespace
