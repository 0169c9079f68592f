// Many runs on one machine: every reinstall leaves the machine as the one
// before it did, settings included, with nothing leaked and the spooler up.
#include <iterator>
#include <map>
#include <set>
#include <string>

#include <nlohmann/json.hpp>
#include <winsim_presets/queues.h>

#include "canonical_machine.h"
#include "test_support.h"

namespace {

using Json = nlohmann::json;

constexpr int kCycles = 200;

// Product printers as a user sets them up: a settings link in both places
// the product keeps it, a comment, a location, one of them the default; the
// settings key of each is marked deleted, as the product marks it when its
// printer goes.
struct UserPrinter {
  const char16_t* name;
  const char* settings;
  const char16_t* comment;
  const char16_t* location;
  bool isDefault;
};
const char16_t* const kSettingsKeys[] = {u"PrinterDriverData", u"DsUser"};
const UserPrinter kUserPrinters[] = {
    {u"Office A", "A", u"proofs", u"Room 204", false},
    {u"Office B", "B", u"", u"Room 101", true},
    {u"Reception", "Front desk", u"letters", u"", false},
};

class LongRunTest : public MachineTest {
 protected:
  // Every run ends with the spooler running and nothing of the installer left.
  int Run(const std::u16string& arguments) {
    const int code = MachineTest::Run(arguments);
    EXPECT_TRUE(winsim::SpoolerRunning(machine())) << "after \"" << Utf8(arguments.c_str()) << "\"";
    ExpectNothingLeft();
    ForgetEndedProcesses();
    return code;
  }
  // The machine keeps an ended process for its exit code, so it would grow
  // by every run; once the fixture has checked what the process left open,
  // it is dropped, as Windows drops a process no handle names.
  void ForgetEndedProcesses() {
    winsim::Machine& m = machine();
    std::set<DWORD> named;
    for (const auto& [value, handle] : m.handles.entries) {
      if (handle.kind == winsim::HandleKind::Process || handle.kind == winsim::HandleKind::Thread) {
        named.insert(handle.target);
      }
    }
    for (auto it = m.processes.begin(); it != m.processes.end();) {
      const bool forget = !it->second.running && it->first != m.caller && named.count(it->first) == 0;
      it = forget ? m.processes.erase(it) : std::next(it);
    }
  }
  // A setup program lays out the product's files, then starts the installer.
  int Install() {
    winsim::presets::LayOutProduct(machine(), winsim::presets::kDefaultBuild);
    return Run(u"install");
  }
  void AddUserPrinters() {
    for (const UserPrinter& p : kUserPrinters) {
      winsim::Printer& printer =
          winsim::presets::AddPrinter(machine(), p.name, u"Ravelquill:", u"Ravelquill printer", p.isDefault);
      printer.comment = p.comment;
      printer.location = p.location;
      for (const char16_t* key : kSettingsKeys) winsim::presets::PutSettingsName(printer, key, p.settings);
      machine().registry.SetDword(winsim::presets::SettingsKey(p.settings), u"deleted", 1);
    }
  }
  void ExpectUserPrintersBack() {
    for (const UserPrinter& p : kUserPrinters) {
      SCOPED_TRACE(Utf8(p.name));
      const winsim::Printer* printer = machine().spooler.FindPrinter(p.name);
      ASSERT_NE(printer, nullptr);
      EXPECT_EQ(printer->comment, p.comment);
      EXPECT_EQ(printer->location, p.location);
      for (const char16_t* key : kSettingsKeys) EXPECT_EQ(winsim::presets::SettingsNameOf(*printer, key), p.settings);
      EXPECT_EQ(machine().registry.FindValue(winsim::presets::SettingsKey(p.settings), u"deleted"), nullptr);
      EXPECT_EQ(machine().spooler.defaultPrinter == p.name, p.isDefault);
    }
  }
};

// Each cycle: a reinstall over the user's printers, an uninstall, a fresh
// install, and the user's printers set up again.
TEST_F(LongRunTest, ReinstallsLeaveTheSameMachineCycleAfterCycle) {
  ASSERT_EQ(Install(), 1);
  AddUserPrinters();
  Json previous;
  for (int cycle = 0; cycle < kCycles; ++cycle) {
    SCOPED_TRACE("cycle " + std::to_string(cycle));
    ASSERT_EQ(Install(), 1);
    if (cycle == 0) ExpectUserPrintersBack();
    const Json reinstalled = Canonical(machine());
    // What changed, as a JSON patch: where, and to what.
    if (cycle > 0) {
      ASSERT_EQ(Json::diff(previous, reinstalled), Json::array());
    }
    previous = reinstalled;
    ASSERT_EQ(Run(u"uninstall"), 2);
    ASSERT_EQ(Install(), 1);
    AddUserPrinters();
  }
}

}  // namespace
