#include "spooler/printer_settings.h"

#include <optional>
#include <string>
#include <vector>

#include <winsim_presets/queues.h>

#include "test_support.h"

namespace {

using Lines = std::vector<std::string>;
using winsim::presets::AddPrinter;
using winsim::presets::PutSettingsName;
using winsim::presets::SettingsKey;
using winsim::presets::SettingsNameOf;

const char16_t kPlain[] = u"PrinterDriverData";
const char16_t kDsUser[] = u"DsUser";
const char16_t kProductDriver[] = u"Ravelquill printer";

// The lines AddProductPrinter writes for a printer it creates.
Lines Added(const std::string& name) {
  return {">AddPrinter(" + name + ")", "  Let's check our port monitors", "  Port monitor is found", "  OK :)"};
}

class PrinterSettingsTest : public ContextTest {
 protected:
  PrinterSettingsTest() { Prepare(); }
  // A fresh product machine with the product's port and driver; the context
  // takes its snapshot after the test has added its printers.
  void Prepare() {
    FreeContext(context);
    context = InstallContext{};
    winsim::SetCurrent(winsim::presets::ProductMachine());
    winsim::presets::AddProductPortAndDriver(machine());
  }
  void Snapshot() { MarkDefaultPrinter(context); }
  winsim::Printer* Find(const std::u16string& name) { return machine().spooler.FindPrinter(name); }
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (const auto& p : machine().spooler.printers) names.push_back(winsim::Narrow(p.name));
    return names;
  }
  std::vector<std::string> Saved() {
    std::vector<std::string> saved;
    for (auto* e = context.SavedSettings; e != nullptr; e = e->Next) {
      saved.push_back(Utf8(e->Printer->pPrinterName) + "=" + (e->SettingsName ? e->SettingsName : "(null)"));
    }
    return saved;
  }
};

TEST_F(PrinterSettingsTest, DeleteAllPrintersDeletesByTheDriverNameAlone) {
  struct Case {
    const char* what;
    bool productPrinters;
    Lines lines;
    std::vector<std::string> left;
  };
  const Case cases[] = {
      {"none", false, {">DeleteAllPrinters"}, {"Microsoft Print to PDF"}},
      {"mixed",
       true,
       {">DeleteAllPrinters", "  >DeletePrinter(OnPort)", "    OK", "  >DeletePrinter(Elsewhere)", "    OK"},
       {"Microsoft Print to PDF", "OtherDriver", "CaseDiffers"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Prepare();
    if (c.productPrinters) {
      AddPrinter(machine(), u"OnPort", u"Ravelquill:", kProductDriver);
      AddPrinter(machine(), u"Elsewhere", u"LPT1:", kProductDriver);
      AddPrinter(machine(), u"OtherDriver", u"Ravelquill:", u"Plain driver");
      AddPrinter(machine(), u"CaseDiffers", u"Ravelquill:", u"ravelquill printer");
    }
    Snapshot();
    DeleteAllPrinters(context);
    EXPECT_EQ(LogLines(context), c.lines);
    EXPECT_EQ(context.ErrorCount, 0);
    EXPECT_EQ(context.LogDepth, 0);
    EXPECT_EQ(Names(), c.left);
  }
}

// A name is read plain first, then under "DsUser"; one that does not end
// within its 64 bytes is no name.
TEST_F(PrinterSettingsTest, SettingsNamesAreSavedWhenTheyFitIn64Bytes) {
  const std::string name63(63, 'n');
  const std::string name64(64, 'n');
  struct Case {
    const char* what;
    std::optional<std::string> plain, dsUser;
    bool plainTerminated;
    std::vector<std::string> saved;
  };
  const Case cases[] = {
      {"63 bytes", name63, std::nullopt, true, {"Q=" + name63}},
      {"64 bytes", name64, std::nullopt, true, {}},
      {"under DsUser only", std::nullopt, "user", true, {"Q=user"}},
      {"plain unterminated, DsUser kept", name64, "user", false, {"Q=user"}},
      {"plain unterminated only", name64, std::nullopt, false, {}},
      {"none", std::nullopt, std::nullopt, true, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Prepare();
    winsim::Printer& queue = AddPrinter(machine(), u"Q", u"Ravelquill:", kProductDriver);
    if (c.plain) PutSettingsName(queue, kPlain, *c.plain, c.plainTerminated);
    if (c.dsUser) PutSettingsName(queue, kDsUser, *c.dsUser);
    Snapshot();
    DeleteAllPrinters(context);
    EXPECT_EQ(Saved(), c.saved);
    EXPECT_EQ(Find(u"Q"), nullptr);
  }
}

TEST_F(PrinterSettingsTest, ReinstallRecreatesSavedPrintersWithTheirSettings) {
  struct Case {
    const char* what;
    bool secondIsDefault;
    std::string defaultAfter;
  };
  const Case cases[] = {
      {"B was the default", true, "B"},
      {"no product printer was the default", false, "Microsoft Print to PDF"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Prepare();
    winsim::Printer& a = AddPrinter(machine(), u"A", u"Ravelquill:", kProductDriver);
    a.comment = u"first floor";
    a.location = u"hall";
    PutSettingsName(a, kPlain, "settingsA");
    winsim::Printer& b = AddPrinter(machine(), u"B", u"Ravelquill:", kProductDriver, c.secondIsDefault);
    b.comment = u"second floor";
    b.location = u"office";
    PutSettingsName(b, kDsUser, "settingsB");
    auto& registry = machine().registry;
    for (const char* key : {"settingsA", "settingsB", "untouched"}) {
      registry.SetDword(SettingsKey(key), u"deleted", 1);
      registry.SetDword(SettingsKey(key), u"kept", 2);
    }
    Snapshot();
    DeleteAllPrinters(context);
    TextFree(context.LogText);  // the deletion's log is not under test here
    EXPECT_EQ(Names(), std::vector<std::string>{"Microsoft Print to PDF"});

    RestorePrinterSettings(context);
    Lines expected = Added("B");
    for (const auto& line : Added("A")) expected.push_back(line);
    EXPECT_EQ(LogLines(context), expected);
    EXPECT_EQ(context.ErrorCount, 0);
    const struct {
      const char16_t* printer;
      const char* comment;
      const char* location;
      const char* settings;
    } restored[] = {{u"A", "first floor", "hall", "settingsA"}, {u"B", "second floor", "office", "settingsB"}};
    for (const auto& r : restored) {
      const winsim::Printer* p = Find(r.printer);
      ASSERT_NE(p, nullptr);
      EXPECT_EQ(winsim::Narrow(p->comment), r.comment);
      EXPECT_EQ(winsim::Narrow(p->location), r.location);
      EXPECT_EQ(SettingsNameOf(*p, kPlain), r.settings);
      EXPECT_EQ(SettingsNameOf(*p, kDsUser), r.settings);
      EXPECT_EQ(registry.FindValue(SettingsKey(r.settings), u"deleted"), nullptr);
      EXPECT_NE(registry.FindValue(SettingsKey(r.settings), u"kept"), nullptr);
    }
    EXPECT_NE(registry.FindValue(SettingsKey("untouched"), u"deleted"), nullptr);
    EXPECT_EQ(winsim::Narrow(machine().spooler.defaultPrinter.value_or(u"")), c.defaultAfter);
  }
}

TEST_F(PrinterSettingsTest, RavelquillIsCreatedWhenNothingIsRecreated) {
  struct Case {
    const char* what;
    bool saved, deletionRefused;
    Lines lines;
  };
  Lines refused = {">AddPrinter(Kept)", "  Let's check our port monitors", "  Port monitor is found",
                   "  Error(15): Can`t add printer 'Kept' - (The printer already exists.)"};
  for (const auto& line : Added("Ravelquill")) refused.push_back(line);
  const Case cases[] = {
      {"nothing saved", false, false, Added("Ravelquill")},
      {"the saved printer could not be deleted", true, true, refused},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Prepare();
    winsim::Printer& kept = AddPrinter(machine(), u"Kept", u"Ravelquill:", kProductDriver);
    if (c.saved) PutSettingsName(kept, kPlain, "settingsK");
    Snapshot();
    if (c.deletionRefused) machine().FailNext("DeletePrinter", ERROR_ACCESS_DENIED);
    DeleteAllPrinters(context);
    TextFree(context.LogText);

    RestorePrinterSettings(context);
    EXPECT_EQ(LogLines(context), c.lines);
    EXPECT_NE(Find(u"Ravelquill"), nullptr);
  }
}

TEST_F(PrinterSettingsTest, ClearDeletedMarkDeletesOnlyThatValue) {
  auto& registry = machine().registry;
  registry.SetDword(SettingsKey("marked"), u"deleted", 1);
  registry.SetDword(SettingsKey("unmarked"), u"kept", 1);
  const struct {
    const char* subKey;
    bool result;
  } cases[] = {{"Ravelquills\\marked", true}, {"Ravelquills\\unmarked", false}, {"Ravelquills\\missing", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.subKey);
    EXPECT_EQ(ClearDeletedMark(c.subKey), c.result);
  }
  EXPECT_EQ(registry.FindValue(SettingsKey("marked"), u"deleted"), nullptr);
  EXPECT_NE(registry.FindValue(SettingsKey("unmarked"), u"kept"), nullptr);
  EXPECT_FALSE(ClearDeletedMark(std::string(300, 'x').c_str()));  // longer than any key path
}

TEST_F(PrinterSettingsTest, NoSettingsNameIsWrittenWithoutOne) {
  AddPrinter(machine(), u"Q", u"Ravelquill:", kProductDriver);
  HANDLE printer = nullptr;
  PRINTER_DEFAULTSW all{nullptr, nullptr, PRINTER_ALL_ACCESS};
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(TEXT("Q")), &printer, &all));
  EXPECT_FALSE(WriteSettingsName(printer, nullptr));
  char name[SettingsNameBytes] = "poison";
  ReadSettingsName(printer, name);
  EXPECT_STREQ(name, "");
  ClosePrinter(printer);
}

}  // namespace
