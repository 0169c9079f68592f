// The formatters the trace, machine files and vexsim share.
#include <winsim/text_format.h>

#include <gtest/gtest.h>

namespace {

TEST(TextFormatTest, HexDigitsAreLowerCaseAndFillTheWidth) {
  const struct {
    std::uint64_t value;
    std::size_t width;
    const char* digits;
  } cases[] = {{0, 1, "0"},
               {0, 2, "00"},
               {0xA, 2, "0a"},
               {0x1F4, 2, "1f4"},
               {0xCBF29CE4, 16, "00000000cbf29ce4"},
               {~std::uint64_t{0}, 1, "ffffffffffffffff"}};
  for (const auto& c : cases) EXPECT_EQ(winsim::HexDigits(c.value, c.width), c.digits) << c.value;
  EXPECT_EQ(winsim::Hex(0), "0x0");
  EXPECT_EQ(winsim::Hex(0x10010), "0x10010");
}

TEST(TextFormatTest, QuotedTextStaysOnOneLineAndShowsItsEnds) {
  const struct {
    std::string text;
    const char* quoted;
  } cases[] = {{"", R"("")"},
               {R"(C:\x.dll)", R"("C:\x.dll")"},
               {R"(say "hi")", R"("say \"hi\"")"},
               {"a\r\nb\t", R"("a\r\nb\t")"},
               {std::string("\x01\x1f\x7f", 3), "\"\\x01\\x1f\x7f\""},
               {std::string(1, '\0'), R"("\x00")"},
               {"Gr\xC3\xBC\xC3\x9F"
                "e",
                "\"Gr\xC3\xBC\xC3\x9F"
                "e\""}};
  for (const auto& c : cases) EXPECT_EQ(winsim::Quoted(c.text), c.quoted) << c.quoted;
  EXPECT_EQ(winsim::Quoted(u"Gr\u00FC\u00DFe \"x\""),
            "\"Gr\xC3\xBC\xC3\x9F"
            "e \\\"x\\\"\"");
}

TEST(TextFormatTest, VersionTextHasItsFourParts) {
  EXPECT_EQ(winsim::VersionText(winsim::FileVersion{7, 0, 0, 2446}), "7.0.0.2446");
  EXPECT_EQ(winsim::VersionText(winsim::FileVersion{65535, 1, 65535, 0}), "65535.1.65535.0");
}

}  // namespace
