#include "spooler/printer_settings.h"

#include <optional>
#include <string>
#include <vector>

#include <winsim_presets/queues.h>

#include "test_support.h"

namespace {

using Lines = std::vector<std::string>;
using Names = std::vector<std::string>;
using winsim::presets::AddPrinter;
using winsim::presets::PutSettingsName;
using winsim::presets::SettingsKey;

const char16_t kPlain[] = u"PrinterDriverData";
const char16_t kDsUser[] = u"DsUser";
const char16_t kProductDriver[] = u"Ravelquill printer";

// The lines AddProductPrinter writes for each printer it creates.
Lines Added(const Names& names) {
  Lines lines;
  for (const auto& name : names) {
    lines.insert(lines.end(), {">AddPrinter(" + name + ")", "  Let's check our port monitors",
                               "  Port monitor is found", "  OK :)"});
  }
  return lines;
}

class PrinterSettingsTest : public ContextTest {
 protected:
  // A fresh product machine with the product's port and driver.
  void Fresh() {
    FreshRun();
    winsim::presets::AddProductPortAndDriver(machine());
  }
  winsim::Printer& Product(const std::u16string& name, bool isDefault = false) {
    return AddPrinter(machine(), name, u"Ravelquill:", kProductDriver, isDefault);
  }
  // The snapshot as InitContext takes it, then the deletion, whose log is
  // left out of what follows.
  void DeleteAll() {
    MarkDefaultPrinter(context);
    DeleteAllPrinters(context);
    TextFree(context.LogText);
  }
  Names Printers() {
    Names names;
    for (const auto& p : machine().spooler.printers) names.push_back(winsim::Narrow(p.name));
    return names;
  }
  // The one saved entry's name, or "-" for none.
  std::string Saved() { return context.SavedSettings ? context.SavedSettings->SettingsName : "-"; }
};

TEST_F(PrinterSettingsTest, DeleteAllPrintersDeletesByTheDriverNameAlone) {
  Product(u"OnPort");
  AddPrinter(machine(), u"Elsewhere", u"LPT1:", kProductDriver);
  AddPrinter(machine(), u"OtherDriver", u"Ravelquill:", u"Plain driver");
  AddPrinter(machine(), u"CaseDiffers", u"Ravelquill:", u"ravelquill printer");
  MarkDefaultPrinter(context);
  DeleteAllPrinters(context);
  EXPECT_EQ(LogLines(context), (Lines{">DeleteAllPrinters", "  >DeletePrinter(OnPort)", "    OK",
                                      "  >DeletePrinter(Elsewhere)", "    OK"}));
  EXPECT_EQ(context.LogDepth, 0);
  EXPECT_EQ(Printers(), (Names{"Microsoft Print to PDF", "OtherDriver", "CaseDiffers"}));
}

// Plain data first, then "DsUser"; a value that does not end within the
// 64 bytes is no name, never read past them.
TEST_F(PrinterSettingsTest, SettingsNamesAreSavedWhenTheyEndWithin64Bytes) {
  const std::string name63(63, 'n'), name64(64, 'n');
  struct Case {
    std::optional<std::string> plain, dsUser;
    bool plainTerminated;
    std::string saved;
  };
  const Case cases[] = {
      {name63, std::nullopt, true, name63}, {name64, std::nullopt, true, "-"},  {std::nullopt, "user", true, "user"},
      {name64, "user", false, "user"},      {name64, std::nullopt, false, "-"}, {std::nullopt, std::nullopt, true, "-"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.plain.value_or("-").size() << " " << c.dsUser.value_or("-"));
    Fresh();
    winsim::Printer& queue = Product(u"Q");
    if (c.plain) PutSettingsName(queue, kPlain, *c.plain, c.plainTerminated);
    if (c.dsUser) PutSettingsName(queue, kDsUser, *c.dsUser);
    DeleteAll();
    EXPECT_EQ(Saved(), c.saved);
    EXPECT_EQ(machine().spooler.FindPrinter(u"Q"), nullptr);
  }
}

TEST_F(PrinterSettingsTest, ReinstallRecreatesSavedPrintersWithTheirSettings) {
  const struct {
    const char16_t *name, *comment, *location, *dataKey;
    const char* settings;
  } printers[] = {{u"A", u"first floor", u"hall", kPlain, "settingsA"},
                  {u"B", u"second floor", u"office", kDsUser, "settingsB"}};
  for (const bool bWasDefault : {true, false}) {
    Fresh();
    for (const auto& s : printers) {
      winsim::Printer& p = Product(s.name, bWasDefault && s.name == printers[1].name);
      p.comment = s.comment;
      p.location = s.location;
      PutSettingsName(p, s.dataKey, s.settings);
    }
    auto& registry = machine().registry;
    registry.SetDword(SettingsKey("settingsA"), u"deleted", 1);
    registry.SetDword(SettingsKey("settingsA"), u"kept", 1);
    registry.SetDword(SettingsKey("other"), u"deleted", 1);
    DeleteAll();
    EXPECT_EQ(Printers(), Names{"Microsoft Print to PDF"});

    RestorePrinterSettings(context);
    EXPECT_EQ(LogLines(context), Added({"B", "A"}));
    for (const auto& s : printers) {
      const winsim::Printer* p = machine().spooler.FindPrinter(s.name);
      ASSERT_NE(p, nullptr);
      EXPECT_EQ(p->comment + u"|" + p->location, s.comment + std::u16string(u"|") + s.location);
      EXPECT_EQ(winsim::presets::SettingsNameOf(*p, kPlain), s.settings);
      EXPECT_EQ(winsim::presets::SettingsNameOf(*p, kDsUser), s.settings);
    }
    // Only the taken-over name's mark goes; settingsB has no key: nothing happens.
    EXPECT_EQ(registry.FindValue(SettingsKey("settingsA"), u"deleted"), nullptr);
    EXPECT_NE(registry.FindValue(SettingsKey("settingsA"), u"kept"), nullptr);
    EXPECT_NE(registry.FindValue(SettingsKey("other"), u"deleted"), nullptr);
    EXPECT_EQ(machine().spooler.defaultPrinter, bWasDefault ? u"B" : u"Microsoft Print to PDF");
  }
}

TEST_F(PrinterSettingsTest, RavelquillIsCreatedWhenNothingIsRecreated) {
  // The saved printer whose deletion was refused cannot be created again.
  Lines refused = {">AddPrinter(Kept)", "  Let's check our port monitors", "  Port monitor is found",
                   "  Error(15): Can`t add printer 'Kept' - (The printer already exists.)"};
  const Lines created = Added({"Ravelquill"});
  refused.insert(refused.end(), created.begin(), created.end());
  for (const bool saved : {false, true}) {
    Fresh();
    winsim::Printer& kept = Product(u"Kept");
    if (saved) {
      PutSettingsName(kept, kPlain, "settingsK");
      machine().FailNext("DeletePrinter", ERROR_ACCESS_DENIED);
    }
    DeleteAll();
    RestorePrinterSettings(context);
    EXPECT_EQ(LogLines(context), saved ? refused : created);
    EXPECT_NE(machine().spooler.FindPrinter(u"Ravelquill"), nullptr);
  }
}

}  // namespace
