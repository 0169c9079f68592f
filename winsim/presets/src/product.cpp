#include <winsim_presets/product.h>

namespace winsim::presets {

namespace {

FileVersion ProductVersion(WORD build) { return FileVersion{7, 0, 0, build}; }

// Bytes that differ per module and per build, so that a copy is told apart
// from its source only by what the test does.
std::vector<std::uint8_t> ModuleBytes(std::size_t size, std::uint8_t tag, WORD build) {
  std::vector<std::uint8_t> bytes(size, tag);
  bytes[0] = static_cast<std::uint8_t>(build & 0xFF);
  bytes[1] = static_cast<std::uint8_t>(build >> 8);
  return bytes;
}

}  // namespace

void LayOutProduct(Machine& machine, WORD build, const std::u16string& directory) {
  const std::u16string bin = directory + u"\\bin\\";
  const FileVersion version = ProductVersion(build);
  FileSystem& files = machine.files;
  files.Put(bin + u"vexinst64.exe", ModuleBytes(4096, 0x4D, build), version);
  files.Put(bin + u"vexmon64.dll", ModuleBytes(9000, 0x11, build), version).monitorPorts =
      std::vector<std::u16string>{u"Ravelquill:"};
  files.Put(bin + u"vexdrv64.dll", ModuleBytes(20000, 0x22, build), version);
  files.Put(bin + u"vexui64.dll", ModuleBytes(12000, 0x33, build), version);
  files.Put(bin + u"vexhelp.chm", std::vector<std::uint8_t>(3000, 0x44));  // copied, never versioned
  files.Put(directory + u"\\ravtray.exe", ModuleBytes(5000, 0x55, build), version);
}

std::u16string InstallerCommandLine(const std::u16string& arguments, const std::u16string& image) {
  std::u16string line = u"\"" + image + u"\"";
  if (!arguments.empty()) line += u" " + arguments;
  return line;
}

std::u16string InstallerImage(const Machine& machine) {
  if (machine.files.files.count(FoldCase(kInstallerPath)) != 0) return kInstallerPath;
  const std::u16string name = FoldCase(u"\\vexinst64.exe");
  for (const auto& [key, file] : machine.files.files) {
    if (key.size() > name.size() && key.compare(key.size() - name.size(), name.size(), name) == 0) return file.path;
  }
  return kInstallerPath;
}

Driver& AddDriver(Machine& machine, const std::u16string& name) {
  const std::u16string environment = u"Windows x64";
  // cppcheck-suppress constVariable ; returned as the caller's Driver&
  if (Driver* existing = machine.spooler.FindDriver(name, environment)) return *existing;
  const std::u16string store = machine.spooler.FindEnvironment(environment)->driverDirectory + u"\\3\\";
  // Each driver's files under names of its own, as inbox drivers have them.
  std::u16string stem;
  for (char16_t c : name) {
    if ((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9')) stem.push_back(c);
  }
  Driver driver;
  driver.name = name;
  driver.environment = environment;
  driver.driverPath = store + stem + u".dll";
  driver.dataFile = store + stem + u".gpd";
  driver.configFile = store + stem + u"ui.dll";
  for (const std::u16string* path : {&driver.driverPath, &driver.dataFile, &driver.configFile}) {
    machine.files.Put(*path, std::vector<std::uint8_t>(64, 0x66), FileVersion{10, 0, 19041, 1});
  }
  driver.defaultDataType = u"RAW";
  driver.provider = u"Microsoft";
  driver.mfgName = u"Microsoft";
  machine.spooler.drivers.push_back(driver);
  return machine.spooler.drivers.back();
}

Printer& AddPrinter(Machine& machine, const std::u16string& name, const std::u16string& port,
                    const std::u16string& driver, bool isDefault) {
  AddDriver(machine, driver);
  Printer printer;
  printer.name = name;
  printer.port = port;
  printer.driver = driver;
  machine.spooler.printers.push_back(printer);
  if (isDefault) machine.spooler.defaultPrinter = name;
  return machine.spooler.printers.back();
}

std::unique_ptr<Machine> ProductMachine(WORD build) {
  std::unique_ptr<Machine> machine = NewMachine();
  LayOutProduct(*machine, build);

  ProgramProfile tray;
  tray.fileName = u"ravtray.exe";
  tray.mutexName = kTrayMutex;
  tray.windowClass = kTrayWindowClass;
  tray.quitMessage = kTrayQuitMessage;
  tray.quitDelayMs = 200;
  machine->programs.push_back(tray);
  ProgramProfile help;
  help.fileName = u"hh.exe";
  help.windowClass = kHelpWindowClass;
  help.windowTitle = kHelpWindowTitle;
  machine->programs.push_back(help);
  machine->files.Put(u"C:\\Windows\\hh.exe", std::vector<std::uint8_t>(100, 0x48), FileVersion{10, 0, 19041, 1});

  AddPrinter(*machine, u"Microsoft Print to PDF", u"PORTPROMPT:", u"Microsoft Print To PDF", true);
  // Calls a test makes outside a run come from the installer's process.
  machine->caller = StartProcess(*machine, ProgramKind::Installer, kInstallerPath, InstallerCommandLine());
  return machine;
}

}  // namespace winsim::presets
