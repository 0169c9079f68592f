// The compiled resource script: dialog 101 and the manifest, as Windows
// reads them from the program.
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct Resource {
  std::uint32_t type = 0;  // ordinal types only
  std::uint32_t name = 0;  // ordinal names only
  std::uint16_t language = 0;
  std::vector<std::uint8_t> data;
};

class Reader {
 public:
  Reader(const std::vector<std::uint8_t>& bytes, std::size_t at) : bytes_(bytes), at_(at) {}
  std::uint16_t Word() {
    std::uint16_t v = 0;
    Take(&v, 2);
    return v;
  }
  std::uint32_t Dword() {
    std::uint32_t v = 0;
    Take(&v, 4);
    return v;
  }
  std::int16_t Short() { return static_cast<std::int16_t>(Word()); }
  // A zero-terminated UTF-16 string (ASCII here), or an ordinal after 0xFFFF.
  std::string SzOrOrd(std::uint32_t* ordinal = nullptr) {
    std::uint16_t first = Word();
    if (first == 0xFFFF) {
      const std::uint16_t value = Word();
      if (ordinal) *ordinal = value;
      return "#" + std::to_string(value);
    }
    std::string text;
    for (std::uint16_t c = first; c != 0; c = Word()) text.push_back(static_cast<char>(c));
    return text;
  }
  void Align(std::size_t to) { at_ = (at_ + to - 1) / to * to; }
  std::size_t At() const { return at_; }

 private:
  void Take(void* out, std::size_t n) {
    if (at_ + n > bytes_.size()) throw std::out_of_range("past the end of the resource file");
    std::memcpy(out, bytes_.data() + at_, n);
    at_ += n;
  }
  const std::vector<std::uint8_t>& bytes_;
  std::size_t at_;
};

std::vector<Resource> ReadResources() {
  std::ifstream in(VEXINST_RES, std::ios::binary);
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<Resource> resources;
  std::size_t at = 0;
  while (at + 32 <= bytes.size()) {
    Reader r(bytes, at);
    const std::uint32_t dataSize = r.Dword();
    const std::uint32_t headerSize = r.Dword();
    Resource res;
    r.SzOrOrd(&res.type);
    r.SzOrOrd(&res.name);
    r.Align(4);
    r.Dword();  // data version
    r.Word();   // memory flags
    res.language = r.Word();
    res.data.assign(bytes.begin() + at + headerSize, bytes.begin() + at + headerSize + dataSize);
    if (dataSize > 0) resources.push_back(res);
    at = (at + headerSize + dataSize + 3) / 4 * 4;
  }
  return resources;
}

const Resource* Find(const std::vector<Resource>& all, std::uint32_t type, std::uint32_t name) {
  for (const auto& r : all) {
    if (r.type == type && r.name == name) return &r;
  }
  return nullptr;
}

TEST(ResourceScript, LogWindowDialogIsTheExtendedTemplateOfTheLayout) {
  const auto all = ReadResources();
  const Resource* dialog = Find(all, 5, 101);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->language, 1033);
  Reader r(dialog->data, 0);
  EXPECT_EQ(r.Word(), 1);       // dlgVer
  EXPECT_EQ(r.Word(), 0xFFFF);  // extended template
  EXPECT_EQ(r.Dword(), 0u);     // help id
  EXPECT_EQ(r.Dword(), 0u);     // no extended style
  EXPECT_EQ(r.Dword(), 0x80C808C8u);
  EXPECT_EQ(r.Word(), 2);  // controls
  EXPECT_EQ(r.Short(), 0);
  EXPECT_EQ(r.Short(), 0);
  EXPECT_EQ(r.Short(), 451);
  EXPECT_EQ(r.Short(), 228);
  EXPECT_EQ(r.SzOrOrd(), "");  // no menu
  EXPECT_EQ(r.SzOrOrd(), "");  // standard dialog class
  EXPECT_EQ(r.SzOrOrd(), "");  // empty caption
  EXPECT_EQ(r.Word(), 8);      // points
  EXPECT_EQ(r.Word(), 400);    // weight
  r.Word();                    // italic (low byte) and character set (high byte)
  EXPECT_EQ(r.SzOrOrd(), "MS Shell Dlg");

  struct Control {
    std::uint32_t style;
    std::int16_t x, y, cx, cy;
    std::uint32_t id;
    const char* cls;
    const char* text;
  } expected[] = {{0x50010001, 394, 207, 50, 14, 1, "#128", "Close"}, {0x50A108C4, 7, 7, 437, 194, 1001, "#129", ""}};
  for (const Control& c : expected) {
    r.Align(4);
    EXPECT_EQ(r.Dword(), 0u);  // help id
    EXPECT_EQ(r.Dword(), 0u);  // extended style
    EXPECT_EQ(r.Dword(), c.style) << c.text;
    EXPECT_EQ(r.Short(), c.x);
    EXPECT_EQ(r.Short(), c.y);
    EXPECT_EQ(r.Short(), c.cx);
    EXPECT_EQ(r.Short(), c.cy);
    EXPECT_EQ(r.Dword(), c.id);
    EXPECT_EQ(r.SzOrOrd(), c.cls);  // 0x80 button, 0x81 edit
    EXPECT_EQ(r.SzOrOrd(), c.text);
    EXPECT_EQ(r.Word(), 0);  // no creation data
  }
}

TEST(ResourceScript, ManifestAsksForAdministratorAndCommonControlsSix) {
  const auto all = ReadResources();
  const Resource* manifest = Find(all, 24, 1);
  ASSERT_NE(manifest, nullptr);
  EXPECT_EQ(manifest->language, 1033);
  const std::string xml(manifest->data.begin(), manifest->data.end());
  for (const char* part : {"name=\"Ravelquill.Install\" version=\"1.0.0.0\" processorArchitecture=\"*\" type=\"win32\"",
                           "<description>File viewer/translator</description>",
                           "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
                           "publicKeyToken=\"6595b64144ccf1df\" language=\"*\"",
                           "<requestedExecutionLevel level=\"requireAdministrator\" uiAccess=\"false\"/>"}) {
    EXPECT_NE(xml.find(part), std::string::npos) << part;
  }
}

}  // namespace
