// A machine saved as JSON loads back to the same machine, a hand-written file
// loads with the documented defaults, and a bad file gives one line naming
// the field.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include <winsim/machine_json.h>
#include <winsim_presets/product.h>

namespace {

using winsim::Machine;

// The product machine with an object of every kind the format carries.
std::unique_ptr<Machine> MachineWithEverything() {
  auto m = winsim::presets::ProductMachine();
  winsim::Printer& printer = winsim::presets::AddPrinter(*m, u"Ravelquill", u"Ravelquill:", u"Ravelquill Driver");
  printer.jobs.push_back(winsim::PrintJob{7, u"report.pdf"});
  auto& data = printer.data[u"PRINTERDRIVERDATA"];
  data[u"MODEL"] = winsim::RegistryValue{u"Model", REG_SZ, {'V', 0, 0, 0}};
  data[u"ODD"] = winsim::RegistryValue{u"Odd", REG_SZ, {'V', 0, 'X'}};  // no terminator: saved as {"hex"}
  m->spooler.monitors.push_back(winsim::Monitor{u"Ravelquill Port", u"Windows x64", u"vexmon64.dll"});
  winsim::File& monitor = m->files.Put(u"C:\\Windows\\system32\\vexmon64.dll", {0x4D, 0x5A, 0, 0, 0, 0, 9});
  monitor.monitorPorts = std::vector<std::u16string>{u"Ravelquill:"};
  monitor.damagedAt = 5;
  winsim::LockFile(*m, u"C:\\Windows\\system32\\vexmon64.dll", ERROR_ACCESS_DENIED, false, 5000);
  m->Schedule(winsim::Event{300, winsim::EventKind::ServiceState, 0, SERVICE_STOPPED, 1});
  m->FailNext("CreateFileW", ERROR_ACCESS_DENIED, 2);
  m->FailCallOf("GlobalAlloc", 3, ERROR_NOT_ENOUGH_MEMORY);
  m->faults["GlobalAlloc"].result = -1;
  m->FailCall(40, ERROR_ACCESS_DENIED);
  m->registry.SetMultiString(winsim::kSessionManagerKey, winsim::kPendingRenamesValue, {u"\\??\\C:\\a", u""});
  m->registry.SetValue(u"HKLM\\SOFTWARE\\Ravelquill", u"Blob", REG_BINARY, {1, 2, 2, 2, 2, 2});
  m->registry.SetValue(u"HKLM\\SOFTWARE\\Ravelquill", u"Big", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0x80});
  m->registry.SetDword(u"HKLM\\SOFTWARE\\Ravelquill", u"Build", 2446);
  for (const auto kind : {winsim::HandleKind::File, winsim::HandleKind::Key, winsim::HandleKind::ServiceManager,
                          winsim::HandleKind::Service, winsim::HandleKind::Process, winsim::HandleKind::Thread,
                          winsim::HandleKind::Printer}) {
    m->handles.Add(winsim::Handle{kind, m->caller, u"OBJECT", m->caller, 1, 7, 42});
  }
  winsim::StartProcess(*m, winsim::ProgramKind::Program, winsim::presets::kTrayPath);  // a mutex and a window
  HWND dialog = m->desktop.CreateWindow(u"#32770", u"Ravelquill", nullptr, m->caller);
  m->desktop.Find(dialog)->items = {{IDOK, u"Close"}, {1001, u"log"}};
  m->desktop.modal.push_back(winsim::ModalLoop{dialog, false, 0});
  m->desktop.script = {winsim::DialogAction::Escape};
  m->desktop.station = winsim::WindowStation{u"Service-0x0-3e7$", false};
  m->desktop.dialogs.push_back(
      winsim::DialogRecord{101, dialog, u"Log", {{1001, u"text"}}, {winsim::DialogAction::Enter}, -1});
  m->clock.now = 1234;
  m->lastError = 87;
  return m;
}

TEST(MachineJsonTest, SaveLoadSaveGivesTheSameTextAndKeepsEveryObject) {
  const auto original = MachineWithEverything();
  const std::string saved = winsim::SaveMachine(*original);
  std::string error = "poison";
  const auto loaded = winsim::LoadMachine(saved, error);
  ASSERT_TRUE(loaded) << error;
  EXPECT_EQ(error, "");
  EXPECT_EQ(winsim::SaveMachine(*loaded), saved);
  // The objects are in the text, not lost on both ways alike.
  for (const char* text :
       {"\"kind\": \"HoldEnds\"", "\"kind\": \"ServiceState\"", "\"CreateFileW\"", "\"skip\": 2", "\"result\": -1",
        "\"skip\": 39", "\"kind\": \"Thread\"", "\"data\": \"4d5a 00*4 09\"", "\"hex\": \"560058\"",
        "\"type\": \"REG_MULTI_SZ\"", "\"ravtray.exe\"", "\"{A9CA955A-0A8A-4C32-AAC6-888FB5F83BDC}\"",
        "\"document\": \"report.pdf\"", "\"Service-0x0-3e7$\""}) {
    EXPECT_NE(saved.find(text), std::string::npos) << text;
  }
  // Pending events still happen on the loaded machine.
  loaded->Advance(5000);
  EXPECT_TRUE(loaded->files.holds.empty());
  EXPECT_EQ(loaded->services.spooler.state, static_cast<DWORD>(SERVICE_STOPPED));
}

// The example in docs/machine-format.md keeps loading, with its defaults.
TEST(MachineJsonTest, DocumentedExampleLoadsWithTheDocumentedDefaults) {
  const std::string here = __FILE__;  // the build gives it as a full path
  std::ifstream doc(here.substr(0, here.rfind("tests/unit/")) + "docs/machine-format.md");
  std::stringstream text;
  text << doc.rdbuf();
  const std::string all = text.str();
  const auto start = all.find("```json\n") + 8;
  std::string error;
  const auto m = winsim::LoadMachine(all.substr(start, all.find("```", start) - start), error);
  ASSERT_TRUE(m) << error;
  EXPECT_EQ(m->spooler.printers.at(0).printProcessor, u"winprint");
  EXPECT_EQ(m->spooler.printers.at(0).attributes, 0x240u);
  EXPECT_EQ(m->spooler.monitors.at(0).environment, u"Windows x64");
  EXPECT_TRUE(m->services.spooler.autoStart);
  EXPECT_EQ(m->files.Find(u"c:\\windows\\SYSTEM32\\vexmon64.dll")->attributes,
            static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(m->registry.keys.size(), 3u);  // the key and those above it, not the default keys
  EXPECT_EQ(m->handles.next, 0x104u);
  EXPECT_EQ(winsim::SaveMachine(*winsim::LoadMachine("{}", error)), winsim::SaveMachine(Machine()));
}

TEST(MachineJsonTest, RegistryDataReadsAsItsTypeAndIsSavedTheSameWay) {
  const struct {
    const char* type;
    const char* data;
    std::vector<BYTE> bytes;
  } values[] = {{"REG_SZ", R"("Ab")", {'A', 0, 'b', 0, 0, 0}},
                {"REG_MULTI_SZ", R"(["a", ""])", {'a', 0, 0, 0, 0, 0, 0, 0}},
                {"REG_DWORD", "2446", {0x8E, 0x09, 0, 0}},
                {"REG_BINARY", R"("01 ff*5")", {1, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
                {"REG_SZ", R"({"hex": "41"})", {'A'}}};
  for (const auto& v : values) {
    SCOPED_TRACE(v.data);
    const std::string value = std::string(R"({"name": "V", "type": ")") + v.type + R"(", "data": )" + v.data + "}";
    std::string error;
    const auto m =
        winsim::LoadMachine(R"({"registry": {"keys": [{"path": "HKLM\\K", "values": [)" + value + "]}]}}", error);
    ASSERT_TRUE(m) << error;
    EXPECT_EQ(m->registry.FindValue(u"HKLM\\K", u"V")->data, v.bytes);
    if (v.data[0] != '[' && v.data[0] != '{') {  // saved as written, for the forms on one line
      EXPECT_NE(winsim::SaveMachine(*m).find(std::string(R"("data": )") + v.data), std::string::npos);
    }
  }
}

TEST(MachineJsonTest, ABadFileGivesOneLineNamingTheField) {
  const struct {
    std::string json;
    const char* error;
  } files[] = {
      {R"({"spooler": {"printers": [{"name": "A"}, {"name": "B"}, {"name": "C", "port": 9}]}})",
       "machine.spooler.printers[2].port: expected a string, found a number"},
      {R"({"files": {"files": [{"path": "C:\\a", "size": 3}]}})", R"(machine.files.files[0]: unknown field "size")"},
      {R"({"services": {"spooler": {"autoStart": false}}})", R"(machine.services.spooler: missing field "state")"},
      {R"({"processes": [{"id": 4, "kind": "Daemon"}]})",
       R"(machine.processes[0].kind: "Daemon" is not a ProgramKind (Program, System, Installer, Spooler))"},
      {R"({"files": {"files": [{"path": "C:\\a", "data": "00*99999999999"}]}})",
       R"(machine.files.files[0].data: expected hex bytes ("4d5a", "00*16"), found "00*99999999999")"},
      {R"({"files": {"files": [{"path": "C:\\a", "version": "7.0"}]}})",
       R"(machine.files.files[0].version: expected a version "a.b.c.d", found "7.0")"},
      {R"({"files": {"files": [{"path": "C:\\a"}, {"path": "c:\\A"}]}})",
       "machine.files.files[1]: the same entry as machine.files.files[0]"},
      {R"({"lastError": -1})", "machine.lastError: expected a whole number from 0 to 4294967295, found -1"},
      {R"({"faults": {"Create\nFile": {"co\nunt": 1}}})", R"(machine.faults["Create\nFile"]: unknown field "co\nunt")"},
      {R"({"anyCallFault": {"error": 5, "skip": "2"}})",
       "machine.anyCallFault.skip: expected a number, found a string"},
      {R"({"faults": {"GlobalAlloc": {"error": 8, "result": true}}})",
       R"(machine.faults["GlobalAlloc"].result: expected a number, found a boolean)"},
      {R"({"anyCallFault": {"count": 1}})", R"(machine.anyCallFault: missing field "error")"},
      {R"({"handles": {"entries": [{"value": 300, "kind": "File", "process": 300}], "next": 304}})",
       "machine.handles.entries[0].process: no process 300"},
      {R"({"handles": {"entries": [{"value": 264, "kind": "File", "process": 4}]}})",
       "machine.handles.next: must be above 264, the largest handle value"},
      {R"({"registry": {"keys": [{"path": "HKEY_LOCAL\\SOFTWARE"}]}})",
       R"(machine.registry.keys[0].path: "HKEY_LOCAL\\SOFTWARE" does not begin with a root key )"
       "(HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS, or HKCR, HKCU, HKLM, HKU)"},
      {R"({"clock": })",
       "machine: not JSON: parse error at line 1, column 11: syntax error while parsing value - "
       "unexpected '}'; expected '[', '{', or a literal"},
      {"{\"clock\": " + std::string(100000, '[') + std::string(100000, ']') + "}",
       "machine: nested deeper than 32 levels"}};
  for (const auto& file : files) {
    std::string error = "poison";
    EXPECT_FALSE(winsim::LoadMachine(file.json, error));
    EXPECT_EQ(error, file.error);
  }
}

}  // namespace
