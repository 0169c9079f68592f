#include <winsim_presets/driver.h>

namespace winsim::presets {

Driver& AddProductDriver(Machine& machine) {
  // cppcheck-suppress constVariable ; returned as the caller's Driver&
  if (Driver* existing = machine.spooler.FindDriver(kProductDriverName, u"Windows x64")) return *existing;
  const std::u16string store = machine.spooler.FindEnvironment(u"Windows x64")->driverDirectory + u"\\3\\";
  Driver driver;
  driver.name = kProductDriverName;
  driver.driverPath = store + u"vexdrv64.dll";
  driver.dataFile = driver.driverPath;
  driver.configFile = store + u"vexui64.dll";
  driver.helpFile = store + u"vexhelp.chm";
  for (const std::u16string* path : {&driver.driverPath, &driver.configFile, &driver.helpFile}) {
    machine.files.Put(*path, std::vector<std::uint8_t>(64, 0x22));
  }
  driver.mfgName = u"Morvath Software Kft.";
  driver.provider = driver.mfgName;
  driver.oemUrl = u"https://ravelquill.example/";
  machine.spooler.drivers.push_back(driver);
  return machine.spooler.drivers.back();
}

}  // namespace winsim::presets
