// The product's names and numbers, each written once: what the installer
// puts on a machine, under which names, and which builds it accepts. The
// log texts that name the product are the system's own and stay as written.
#pragma once
#include <windows.h>

// The installer's build: first log line, log window title, and the upper end
// of the compatible port monitor builds.
constexpr int BuildNumber = 2446;
// The oldest build of the product's modules that still counts as current: a
// reinstall keeps a port monitor of this build up to BuildNumber, and
// "onChkDrv" accepts a driver from this build on.
constexpr LONG LowestCompatibleBuild = 2416;

// The port monitor, which is also the name of its one port.
constexpr LPCWSTR ProductMonitorName = TEXT("Ravelquill:");
// The driver every product printer uses (exact, case-sensitive).
constexpr LPCWSTR ProductDriverName = TEXT("Ravelquill printer");
// The printer an install creates when there were none to re-create.
constexpr LPCWSTR ProductPrinterName = TEXT("Ravelquill");
// What the driver's registration names as its maker and web page.
constexpr LPCWSTR ProductManufacturer = TEXT("Morvath Software Kft.");
constexpr LPCWSTR ProductUrl = TEXT("https://ravelquill.example/");

// The product's modules for one spooler environment.
struct ProductModules {
  LPCWSTR Environment;
  LPCWSTR MonitorFile;
  LPCWSTR DriverFile;
  LPCWSTR UiFile;
};
constexpr ProductModules X86Modules = {TEXT("Windows NT x86"), TEXT("vexmon32.dll"), TEXT("vexdrv32.dll"),
                                       TEXT("vexui32.dll")};
constexpr ProductModules X64Modules = {TEXT("Windows x64"), TEXT("vexmon64.dll"), TEXT("vexdrv64.dll"),
                                       TEXT("vexui64.dll")};
// One help file serves both environments.
constexpr LPCWSTR ProductHelpFile = TEXT("vexhelp.chm");

// The per-user key under HKEY_CURRENT_USER that holds the printers' settings,
// and the prefix of a settings name's sub-key in it.
constexpr CHAR ProductUserKey[] = "Software\\Morvath Software KFT\\Ravelquill";
constexpr CHAR SettingsKeyPrefix[] = "Ravelquills\\";

// The tray program, in the parent directory of the installer's own.
constexpr WCHAR TrayProgramName[] = TEXT("ravtray.exe");
// The HKLM Run-key value that starts the tray program with Windows; its data
// is TrayProgramPath, unquoted.
constexpr WCHAR TrayRunKey[] = TEXT("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
constexpr WCHAR TrayRunValue[] = TEXT("RavelquillTray");
// What the tray program provides: it holds the mutex while it runs, owns a
// top-level window of the class, and quits on the message (both parameters 0).
constexpr CHAR TrayInstanceMutex[] = "{A9CA955A-0A8A-4C32-AAC6-888FB5F83BDC}";
constexpr WCHAR TrayWindowClass[] = TEXT("rvs::{05759F8E-103D-41B6-8A61-EFAA89516692}");
constexpr UINT TrayQuitMessage = WM_USER + 2;

// The title of the product's help window, as the help viewer shows it.
constexpr LPCWSTR ProductHelpTitle = TEXT("Ravelquill Help");

// Where each install and uninstall keeps its run log as a file: in these
// folders under the machine-wide application data folder, one file a run,
// named prefix, local date and time, command word, extension
// ("vexinst64-20261208-114312-install.log").
constexpr WCHAR ProductDataFolder[] = TEXT("Ravelquill");
constexpr WCHAR RunLogFolder[] = TEXT("Logs");
constexpr WCHAR RunLogFilePrefix[] = TEXT("vexinst64-");
constexpr WCHAR RunLogFileExtension[] = TEXT(".log");

// An ASCII wide text as the ANSI calls take it, copied by the compiler, so
// a name used by both kinds of call is still written once.
template <SIZE_T Length>
struct AnsiText {
  CHAR Text[Length];
};
template <SIZE_T Length>
constexpr AnsiText<Length> ToAnsi(const WCHAR (&wide)[Length]) {
  AnsiText<Length> ansi{};
  for (SIZE_T i = 0; i < Length; ++i) ansi.Text[i] = static_cast<CHAR>(wide[i]);
  return ansi;
}
constexpr auto TrayRunValueAnsi = ToAnsi(TrayRunValue);
