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

const char16_t kPlain[] = u"PrinterDriverData", kDsUser[] = u"DsUser", kProductDriver[] = u"Ravelquill printer";

class PrinterSettingsTest : public ContextTest {
 protected:
  PrinterSettingsTest() { winsim::presets::AddProductPortAndDriver(machine()); }
  winsim::Printer& Product(const std::u16string& name, bool isDefault = false) {
    return AddPrinter(machine(), name, u"Ravelquill:", kProductDriver, isDefault);
  }
  // The snapshot as InitContext takes it, then the deletion.
  void DeleteAll() {
    MarkDefaultPrinter(context);
    DeleteAllPrinters(context);
  }
  Lines Printers() {
    Lines names;
    for (const auto& p : machine().spooler.printers) names.push_back(winsim::Narrow(p.name));
    return names;
  }
};

TEST_F(PrinterSettingsTest, DeleteAllPrintersDeletesByTheDriverNameAlone) {
  Product(u"OnPort");
  AddPrinter(machine(), u"Elsewhere", u"LPT1:", kProductDriver);
  AddPrinter(machine(), u"OtherDriver", u"Ravelquill:", u"Plain driver");
  AddPrinter(machine(), u"CaseDiffers", u"Ravelquill:", u"ravelquill printer");
  DeleteAll();
  EXPECT_EQ(LogLines(context), (Lines{">DeleteAllPrinters", "  >DeletePrinter(OnPort)", "    OK",
                                      "  >DeletePrinter(Elsewhere)", "    OK"}));
  EXPECT_EQ(Printers(), (Lines{"Microsoft Print to PDF", "OtherDriver", "CaseDiffers"}));
}

// Plain data first, then "DsUser"; a value that does not end within the
// 64 bytes is no name, never read past them.
TEST_F(PrinterSettingsTest, SettingsNamesAreSavedWhenTheyEndWithin64Bytes) {
  const std::string name63(63, 'n'), name64(64, 'n');
  const struct {
    std::optional<std::string> plain, dsUser;
    bool plainTerminated;
    std::string saved;  // "-": none
  } cases[] = {{name63, std::nullopt, true, name63},
               {name64, std::nullopt, true, "-"},
               {std::nullopt, "user", true, "user"},
               {name64, "user", false, "user"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.saved);
    FreshRun();
    winsim::presets::AddProductPortAndDriver(machine());
    winsim::Printer& queue = Product(u"Q");
    if (c.plain) PutSettingsName(queue, kPlain, *c.plain, c.plainTerminated);
    if (c.dsUser) PutSettingsName(queue, kDsUser, *c.dsUser);
    DeleteAll();
    EXPECT_EQ(context.SavedSettings ? context.SavedSettings->SettingsName : "-", c.saved);
  }
}

// Saved printers come back in both data values; only the taken-over name's
// "deleted" mark goes.
TEST_F(PrinterSettingsTest, ReinstallRecreatesSavedPrintersWithTheirSettings) {
  PutSettingsName(Product(u"A"), kPlain, "settingsA");
  winsim::Printer& b = Product(u"B", true);
  b.location = u"office";
  PutSettingsName(b, kDsUser, "settingsB");
  auto& registry = machine().registry;
  registry.SetDword(SettingsKey("settingsA"), u"deleted", 1);
  registry.SetDword(SettingsKey("settingsA"), u"kept", 1);
  registry.SetDword(SettingsKey("other"), u"deleted", 1);
  DeleteAll();
  TextFree(context.LogText);

  RestorePrinterSettings(context);
  EXPECT_EQ(LogLines(context)[0], ">AddPrinter(B)");
  const winsim::Printer* restored = machine().spooler.FindPrinter(u"B");
  ASSERT_NE(restored, nullptr);
  EXPECT_EQ(restored->location, u"office");
  EXPECT_EQ(winsim::presets::SettingsNameOf(*restored, kPlain), "settingsB");
  EXPECT_EQ(winsim::presets::SettingsNameOf(*machine().spooler.FindPrinter(u"A"), kDsUser), "settingsA");
  EXPECT_EQ(registry.FindValue(SettingsKey("settingsA"), u"deleted"), nullptr);
  EXPECT_NE(registry.FindValue(SettingsKey("settingsA"), u"kept"), nullptr);
  EXPECT_NE(registry.FindValue(SettingsKey("other"), u"deleted"), nullptr);
  EXPECT_EQ(machine().spooler.defaultPrinter, u"B");
}

// The saved printer whose deletion was refused cannot be created again;
// Ravelquill is created instead.
TEST_F(PrinterSettingsTest, RavelquillIsCreatedWhenNothingIsRecreated) {
  PutSettingsName(Product(u"Kept"), kPlain, "settingsK");
  machine().FailNext("DeletePrinter", ERROR_ACCESS_DENIED);
  DeleteAll();
  TextFree(context.LogText);
  RestorePrinterSettings(context);
  const Lines lines = LogLines(context);
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(lines[3], "  Error(15): Can`t add printer 'Kept' - (The printer already exists.)");
  EXPECT_EQ(lines[4], ">AddPrinter(Ravelquill)");
  EXPECT_NE(machine().spooler.FindPrinter(u"Ravelquill"), nullptr);
}

}  // namespace
