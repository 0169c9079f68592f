// The compiled resource script: dialog 101 and the manifest, as Windows
// reads them from the program.
#include <cstdint>
#include <cstdio>
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
  template <typename T>
  T Get() {
    if (at_ + sizeof(T) > bytes_.size()) throw std::out_of_range("past the end of the resource file");
    T v;
    std::memcpy(&v, bytes_.data() + at_, sizeof(T));
    at_ += sizeof(T);
    return v;
  }
  // A zero-terminated UTF-16 string (ASCII here), or "#n" for an ordinal after 0xFFFF.
  std::string SzOrOrd(std::uint32_t* ordinal = nullptr) {
    std::string text;
    std::uint16_t first = Get<std::uint16_t>();
    if (first == 0xFFFF) {
      const std::uint16_t value = Get<std::uint16_t>();
      if (ordinal) *ordinal = value;
      return "#" + std::to_string(value);
    }
    for (std::uint16_t c = first; c != 0; c = Get<std::uint16_t>()) text.push_back(static_cast<char>(c));
    return text;
  }
  void Align(std::size_t to) { at_ = (at_ + to - 1) / to * to; }

 private:
  const std::vector<std::uint8_t>& bytes_;
  std::size_t at_;
};

// The one resource of that ordinal type and name in the compiled script.
Resource Find(std::uint32_t type, std::uint32_t name) {
  std::ifstream in(VEXINST_RES, std::ios::binary);
  const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (std::size_t at = 0; at + 32 <= bytes.size();) {
    Reader r(bytes, at);
    const auto dataSize = r.Get<std::uint32_t>(), headerSize = r.Get<std::uint32_t>();
    Resource res;
    r.SzOrOrd(&res.type);
    r.SzOrOrd(&res.name);
    r.Align(4);
    r.Get<std::uint32_t>();  // data version
    r.Get<std::uint16_t>();  // memory flags
    res.language = r.Get<std::uint16_t>();
    res.data.assign(bytes.begin() + at + headerSize, bytes.begin() + at + headerSize + dataSize);
    if (dataSize > 0 && res.type == type && res.name == name) return res;
    at = (at + headerSize + dataSize + 3) / 4 * 4;
  }
  ADD_FAILURE() << "no resource " << type << "/" << name;
  return Resource{};
}

TEST(ResourceScript, LogWindowDialogIsTheExtendedTemplateOfTheLayout) {
  const Resource dialog = Find(5, 101);
  EXPECT_EQ(dialog.language, 1033);
  Reader r(dialog.data, 0);
  // dlgVer 1, extended (0xFFFF), help id, extended style, style, 2 controls, x, y, cx, cy.
  std::vector<std::int64_t> header = {r.Get<std::uint16_t>(), r.Get<std::uint16_t>(), r.Get<std::uint32_t>(),
                                      r.Get<std::uint32_t>(), r.Get<std::uint32_t>(), r.Get<std::uint16_t>()};
  for (int i = 0; i < 4; ++i) header.push_back(r.Get<std::int16_t>());
  EXPECT_EQ(header, (std::vector<std::int64_t>{1, 0xFFFF, 0, 0, 0x80C808C8, 2, 0, 0, 451, 228}));
  // No menu, the standard class, an empty caption; 8 points, weight 400, italic and character set, face.
  for (int i = 0; i < 3; ++i) EXPECT_EQ(r.SzOrOrd(), "") << i;
  EXPECT_EQ(r.Get<std::uint16_t>(), 8);
  EXPECT_EQ(r.Get<std::uint16_t>(), 400);
  r.Get<std::uint16_t>();
  EXPECT_EQ(r.SzOrOrd(), "MS Shell Dlg");

  // Help id, extended style, style, x, y, cx, cy, id; class (0x80 button,
  // 0x81 edit), text, no creation data.
  const std::vector<std::string> expected[] = {
      {"0", "0", "50010001", "394", "207", "50", "14", "1", "#128", "Close", "0"},
      {"0", "0", "50a108c4", "7", "7", "437", "194", "1001", "#129", "", "0"}};
  for (const auto& want : expected) {
    r.Align(4);
    std::vector<std::string> control = {std::to_string(r.Get<std::uint32_t>()), std::to_string(r.Get<std::uint32_t>())};
    char style[9];
    std::snprintf(style, sizeof style, "%08x", r.Get<std::uint32_t>());
    control.push_back(style);
    for (int i = 0; i < 4; ++i) control.push_back(std::to_string(r.Get<std::int16_t>()));
    control.push_back(std::to_string(r.Get<std::uint32_t>()));
    control.push_back(r.SzOrOrd());
    control.push_back(r.SzOrOrd());
    control.push_back(std::to_string(r.Get<std::uint16_t>()));
    EXPECT_EQ(control, want);
  }
}

TEST(ResourceScript, ManifestAsksForAdministratorAndCommonControlsSix) {
  const Resource manifest = Find(24, 1);
  EXPECT_EQ(manifest.language, 1033);
  const std::string xml(manifest.data.begin(), manifest.data.end());
  for (const char* part : {"name=\"Ravelquill.Install\" version=\"1.0.0.0\" processorArchitecture=\"*\" type=\"win32\"",
                           "<description>File viewer/translator</description>",
                           "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
                           "publicKeyToken=\"6595b64144ccf1df\" language=\"*\"",
                           "<requestedExecutionLevel level=\"requireAdministrator\" uiAccess=\"false\"/>"}) {
    EXPECT_NE(xml.find(part), std::string::npos) << part;
  }
}

}  // namespace
