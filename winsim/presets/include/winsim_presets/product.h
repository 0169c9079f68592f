// The product on a simulated machine: its files laid out as its own setup
// program lays them out, the programs it starts, and one-line builders for
// the spooler objects a test needs. winsim itself knows only Windows.
#pragma once
#include <memory>
#include <string>

#include <winsim/machine.h>

namespace winsim::presets {

// Where the product lives, as the e2e layouts have it.
inline const char16_t kProductDirectory[] = u"C:\\Program Files\\Ravelquill";
inline const char16_t kBinDirectory[] = u"C:\\Program Files\\Ravelquill\\bin";
inline const char16_t kInstallerPath[] = u"C:\\Program Files\\Ravelquill\\bin\\vexinst64.exe";
inline const char16_t kTrayPath[] = u"C:\\Program Files\\Ravelquill\\ravtray.exe";

// The tray program's contract: one instance per session through its mutex,
// its window's class, and the message that makes it quit.
inline const char16_t kTrayMutex[] = u"{A9CA955A-0A8A-4C32-AAC6-888FB5F83BDC}";
inline const char16_t kTrayWindowClass[] = u"rvs::{05759F8E-103D-41B6-8A61-EFAA89516692}";
constexpr UINT kTrayQuitMessage = 1026;
// Where the installer registers the tray program to start with Windows.
inline const char16_t kTrayRunKey[] = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline const char16_t kTrayRunValue[] = u"RavelquillTray";
// The HTML Help viewer showing the product's help.
inline const char16_t kHelpWindowClass[] = u"HH Parent";
inline const char16_t kHelpWindowTitle[] = u"Ravelquill Help";

// The builds laid out by the e2e fixtures; the product's version is 7.0.0.<build>.
constexpr WORD kBuilds[] = {2415, 2416, 2446, 2447};
constexpr WORD kDefaultBuild = 2446;

// A fresh Windows x64 (NewMachine) with the product of `build` laid out in
// kProductDirectory, the tray program and the help viewer known, a
// "Microsoft Print to PDF" printer as the default, and the installer as the
// program that runs.
std::unique_ptr<Machine> ProductMachine(WORD build = kDefaultBuild);

// Lays out the product's files of `build` under `directory` (bin\ holds the
// installer, the monitor, the driver, its user interface and the help file).
void LayOutProduct(Machine& machine, WORD build, const std::u16string& directory = kProductDirectory);

// The command line a setup program gives the installer: its quoted path
// (`image`), then `arguments`.
std::u16string InstallerCommandLine(const std::u16string& arguments = std::u16string(),
                                    const std::u16string& image = kInstallerPath);
// Where the installer lies on `machine`: the product's own place when it is
// there, else the first "vexinst64.exe" of the machine (a snapshot keeps it
// where it was found), else the product's place.
std::u16string InstallerImage(const Machine& machine);

// Registers a driver of the native environment, its files in the driver
// store, unless one of that name exists; returns it.
Driver& AddDriver(Machine& machine, const std::u16string& name);

// A printer named `name` on `port` with `driver` (registered if missing),
// the default printer when `isDefault`: one line per printer in a test.
Printer& AddPrinter(Machine& machine, const std::u16string& name, const std::u16string& port,
                    const std::u16string& driver, bool isDefault = false);

}  // namespace winsim::presets
