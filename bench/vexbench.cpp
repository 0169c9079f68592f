// vexbench: how the installer's runs grow with the number of product
// printers. For 0, 10, 100, 1,000 and 10,000 printers it times an install, a
// reinstall and an uninstall on a simulated machine: the CPU time the run
// took, the virtual time that passed on the machine's clock, the number of
// Win32 calls it made, and the peak resident memory; then how each grows
// from 10 printers, beside the growth of the calls. Each case runs in a
// child process of its own, which sets up its machine, resets its peak and
// then runs, so the peak is that run's; each case runs three times and the
// least CPU time counts, the one least disturbed by whatever else the
// machine was doing.
//
//   vexbench [--max N]    only the printer counts up to N
//   vexbench --one N RUN  one run (install, reinstall or uninstall) with N
//                         printers in this process, for a profiler:
//                         valgrind --tool=callgrind --toggle-collect='*MeasuredRun*'
//
// Exits 1 when a run ends with another exit code than a clean one.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <winsim/machine.h>
#include <winsim/trace.h>
#include <winsim_presets/driver.h>
#include <winsim_presets/monitor.h>
#include <winsim_presets/product.h>
#include <winsim_presets/queues.h>

namespace {

// The runs of one machine, in order: each starts from what the one before left.
struct RunKind {
  const char* name;
  const char16_t* words;
  int cleanExit;
};
constexpr RunKind kRuns[] = {{"install", u"install", 1}, {"reinstall", u"install", 1}, {"uninstall", u"uninstall", 2}};
constexpr int kPrinterCounts[] = {0, 10, 100, 1000, 10000};
constexpr int kRepeats = 3;

struct Measure {
  int exitCode = -1;
  double cpuMs = 0;
  std::uint64_t virtualMs = 0;
  std::uint64_t calls = 0;
  long peakKib = 0;
};

// The product installed with `printers` product printers, each with its
// settings link, so that a reinstall carries every one of them over.
std::unique_ptr<winsim::Machine> MachineWith(int printers) {
  auto machine = winsim::presets::ProductMachine();
  winsim::presets::AddProductPortAndDriver(*machine);
  for (int i = 1; i <= printers; ++i) {
    const std::string name = "Ravelquill " + std::to_string(i);
    winsim::Printer& printer = winsim::presets::AddPrinter(*machine, winsim::Widen(name), winsim::presets::kMonitorName,
                                                           winsim::presets::kProductDriverName);
    for (const char16_t* key : {u"PrinterDriverData", u"DsUser"}) {
      winsim::presets::PutSettingsName(printer, key, "printer" + std::to_string(i));
    }
  }
  return machine;
}

double CpuMs() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

int RunInstaller(const RunKind& run) {
  return winsim::RunWinMain(winsim::presets::kInstallerPath, winsim::presets::InstallerCommandLine(run.words));
}

// The measured run alone, a function of its own for a profiler to pick out.
__attribute__((noinline)) int MeasuredRun(const RunKind& run) { return RunInstaller(run); }

// In the child: the runs before `index` untimed, then run `index` measured.
Measure MeasureInChild(int printers, std::size_t index) {
  winsim::SetCurrent(MachineWith(printers));
  for (std::size_t i = 0; i < index; ++i) RunInstaller(kRuns[i]);
  // The peak resident size counts again from here (Linux 4.0 and later).
  std::ofstream("/proc/self/clear_refs") << "5";
  const std::uint64_t virtualStart = winsim::Current().clock.now;
  winsim::trace::StartRecording(false);  // counted, not recorded
  const double cpuStart = CpuMs();
  Measure measure;
  measure.exitCode = MeasuredRun(kRuns[index]);
  measure.cpuMs = CpuMs() - cpuStart;
  measure.calls = winsim::trace::CallCount();
  measure.virtualMs = winsim::Current().clock.now - virtualStart;
  return measure;
}

// "x12.3", or "-" when there is nothing to compare with.
std::string Growth(double from, double to) {
  if (from <= 0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "x%.1f", to / from);
  return text;
}

// One case in a child process; false when the child did not report.
bool Measured(int printers, std::size_t index, Measure& measure) {
  int channel[2];
  if (pipe(channel) != 0) return false;
  std::fflush(stdout);
  const pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    close(channel[0]);
    const Measure result = MeasureInChild(printers, index);
    const bool sent = write(channel[1], &result, sizeof result) == static_cast<ssize_t>(sizeof result);
    _exit(sent ? 0 : 1);
  }
  close(channel[1]);
  const bool received = read(channel[0], &measure, sizeof measure) == static_cast<ssize_t>(sizeof measure);
  close(channel[0]);
  int status = 0;
  rusage usage{};
  if (wait4(child, &status, 0, &usage) != child) return false;
  measure.peakKib = usage.ru_maxrss;
  return received && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void PrintRow(int printers, const RunKind& run, const Measure& measure) {
  std::printf("%8d  %-9s  %4d  %10.2f  %11llu  %9ld  %5llu\n", printers, run.name, measure.exitCode, measure.cpuMs,
              static_cast<unsigned long long>(measure.virtualMs), measure.peakKib,
              static_cast<unsigned long long>(measure.calls));
}

// --one: the case in this process, once, for a profiler to follow.
int RunOne(int printers, const std::string& name) {
  for (std::size_t i = 0; i < std::size(kRuns); ++i) {
    if (name != kRuns[i].name) continue;
    Measure measure = MeasureInChild(printers, i);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    measure.peakKib = usage.ru_maxrss;
    PrintRow(printers, kRuns[i], measure);
    return measure.exitCode == kRuns[i].cleanExit ? 0 : 1;
  }
  std::fprintf(stderr, "vexbench: no run %s\n", name.c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int most = kPrinterCounts[std::size(kPrinterCounts) - 1];
  if (argc == 3 && std::string(argv[1]) == "--max") {
    most = std::atoi(argv[2]);
  } else if (argc == 4 && std::string(argv[1]) == "--one") {
    return RunOne(std::atoi(argv[2]), argv[3]);
  } else if (argc != 1) {
    std::fprintf(stderr, "usage: vexbench [--max N | --one N RUN]\n");
    return 2;
  }
  std::printf("%8s  %-9s  %4s  %10s  %11s  %9s  %5s\n", "printers", "run", "exit", "cpu ms", "virtual ms", "peak KiB",
              "calls");
  std::vector<std::vector<Measure>> table;
  bool clean = true;
  for (int printers : kPrinterCounts) {
    if (printers > most) break;
    table.emplace_back();
    for (std::size_t i = 0; i < std::size(kRuns); ++i) {
      Measure measure;
      for (int repeat = 0; repeat < kRepeats; ++repeat) {
        Measure again;
        if (!Measured(printers, i, again)) {
          std::fprintf(stderr, "vexbench: the %s case of %d printers did not report\n", kRuns[i].name, printers);
          return 1;
        }
        if (repeat == 0 || again.cpuMs < measure.cpuMs) measure = again;
      }
      clean = clean && measure.exitCode == kRuns[i].cleanExit;
      PrintRow(printers, kRuns[i], measure);
      table.back().push_back(measure);
    }
  }
  // Growth from the second printer count to each from the fourth on, and
  // how much faster CPU time grew than the calls made (1.0: in step).
  for (std::size_t to = 3; to < table.size(); ++to) {
    const int from = kPrinterCounts[1], most = kPrinterCounts[to];
    std::printf("\ngrowth from %d to %d printers (x%d):\n", from, most, most / from);
    for (std::size_t i = 0; i < std::size(kRuns); ++i) {
      const Measure& a = table[1][i];
      const Measure& b = table[to][i];
      const double cpu = b.cpuMs / a.cpuMs;
      const double calls = static_cast<double>(b.calls) / static_cast<double>(a.calls);
      std::printf("  %-9s  cpu %s  virtual %s  peak %s  calls %s  cpu/calls %.2f\n", kRuns[i].name,
                  Growth(a.cpuMs, b.cpuMs).c_str(),
                  Growth(static_cast<double>(a.virtualMs), static_cast<double>(b.virtualMs)).c_str(),
                  Growth(static_cast<double>(a.peakKib), static_cast<double>(b.peakKib)).c_str(),
                  Growth(static_cast<double>(a.calls), static_cast<double>(b.calls)).c_str(),
                  a.cpuMs > 0 && a.calls > 0 ? cpu / calls : 0.0);
    }
  }
  return clean ? 0 : 1;
}
