// The quoting the trace, machine-file errors and vexsim share: one line
// whatever the text holds.
#include <winsim/text_format.h>

#include <gtest/gtest.h>

namespace {

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

}  // namespace
