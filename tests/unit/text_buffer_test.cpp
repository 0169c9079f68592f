#include "shell/text_buffer.h"

#include <string>

#include "test_support.h"

namespace {

std::u16string Repeat(char16_t c, std::size_t n) { return std::u16string(n, c); }

class TextBufferTest : public MachineTest {
 protected:
  ~TextBufferTest() override { TextFree(text); }
  TextBuffer text;
};

TEST(TextBlockBytes, RoundsRoomForTerminatorUpToStepsOf32Characters) {
  EXPECT_EQ(TextBlockBytes(0), 0u);
  EXPECT_EQ(TextBlockBytes(1), 32u * 2 + 8);
  EXPECT_EQ(TextBlockBytes(31), 72u);
  EXPECT_EQ(TextBlockBytes(32), 136u);
  EXPECT_EQ(TextBlockBytes(63), 136u);
  EXPECT_EQ(TextBlockBytes(64), 200u);
}

// Within a step the block stays; empty text is always the null block.
TEST_F(TextBufferTest, GrowingWithinAStepKeepsTheBlockAndEmptyTextHasNone) {
  TextAssign(text, Repeat(u'a', 33).c_str());
  TextBlock* block = text.Block;
  TextAppend(text, Repeat(u'b', 30).c_str());  // 63 characters: same 64-character block
  TextAppend(text, TEXT(""));
  EXPECT_EQ(text.Block, block);
  EXPECT_EQ(TextLength(text), 63u);
  TextResize(text, 40);  // shrinking within the step never moves the block
  EXPECT_EQ(text.Block, block);
  EXPECT_EQ(TextString(text)[40], 0);
  TextAppend(text, TEXT("def"));
  EXPECT_EQ(TextString(text)[43], 0);
  EXPECT_EQ(Utf8(text), std::string(33, 'a') + std::string(7, 'b') + "def");

  EXPECT_TRUE(TextResize(text, 0));
  EXPECT_EQ(text.Block, nullptr);
  EXPECT_EQ(Utf8(text), "");
  for (LPCWSTR empty : {TEXT(""), static_cast<LPCWSTR>(nullptr)}) {
    TextAssign(text, TEXT("abc"));
    TextAssign(text, empty);
    EXPECT_EQ(text.Block, nullptr);
  }
}

TEST_F(TextBufferTest, AppendingItsOwnTextSurvivesTheBlockMoving) {
  TextAssign(text, Repeat(u'x', 31).c_str());
  TextAppend(text, TextString(text));
  EXPECT_EQ(Utf8(text), std::string(62, 'x'));
  TextAssign(text, TextString(text) + 60);
  EXPECT_EQ(Utf8(text), "xx");
}

TEST_F(TextBufferTest, ParentDirCutsAtTheLastBackslashElseTheLastSlash) {
  const struct {
    const char16_t* path;
    const char* parent;
  } cases[] = {
      {u"C:\\a\\b.dll", "C:\\a"},
      {u"C:\\a/b\\c/d", "C:\\a/b"},  // a backslash wins even when a slash follows it
      {u"a/b/c", "a/b"},
      {u"\\only", ""},  // the separator is the first character
      {u"/only", ""},
      {u"nothing", ""},
      {nullptr, ""},
  };
  for (const auto& c : cases) {
    TextAssign(text, c.path);
    TextBuffer parent = TextParentDir(text);
    EXPECT_EQ(Utf8(parent), c.parent) << Utf8(c.path);
    EXPECT_EQ(parent.Block == nullptr, *c.parent == 0);
    TextFree(parent);
  }
}

TEST_F(TextBufferTest, CopyIsIndependent) {
  TextAssign(text, TEXT("first"));
  TextBuffer copy = TextCopy(text);
  TextAssign(text, TEXT("second"));
  EXPECT_EQ(Utf8(copy), "first");
  TextFree(copy);
  TextFree(text);
  EXPECT_EQ(TextCopy(text).Block, nullptr);
}

TEST_F(TextBufferTest, FromAnsiConvertsWindows1252) {
  EXPECT_EQ(TextFromAnsi("").Block, nullptr);
  text = TextFromAnsi("Caf\xE9 \x80 \x96");
  EXPECT_EQ(Utf8(text), "Caf\u00e9 \u20ac \u2013");
  machine().FailNext("MultiByteToWideChar", ERROR_INVALID_PARAMETER);
  EXPECT_EQ(TextFromAnsi("abc").Block, nullptr);
}

TEST_F(TextBufferTest, AnImpossibleLengthEndsTheRunInsteadOfWrappingTheSize) {
  TextAssign(text, TEXT("kept"));
  EXPECT_EQ(RunCode([&] { TextResize(text, ~0ULL); }), std::optional<UINT>(100)) << "the run went on";
  EXPECT_EQ(Utf8(text), "kept");
}

}  // namespace
