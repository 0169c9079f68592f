// Helpers shared by the unit tests: a fresh default machine per test and
// readable views of a run log.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include <winsim/machine.h>
#include <winsim_presets/product.h>

#include "shell/install_context.h"
#include "shell/spooler_fetch.h"
#include "shell/string_list.h"
#include "shell/text_buffer.h"

// A value no Win32 call leaves behind, set before the call under test so a
// stale error cannot pass for the right one.
constexpr DWORD kPoisonError = 0xDEADBEEF;

inline std::string Utf8(LPCWSTR text) { return winsim::Narrow(text ? std::u16string(text) : std::u16string()); }
inline std::string Utf8(const TextBuffer& text) { return Utf8(TextString(text)); }

// The log split at CR LF; the text after the last line end must be empty.
inline std::vector<std::string> LogLines(const InstallContext& context) {
  std::vector<std::string> lines;
  std::string log = Utf8(context.LogText);
  std::size_t start = 0;
  for (std::size_t end; (end = log.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(log.substr(start, end - start));
  }
  EXPECT_EQ(start, log.size()) << "log does not end in CR LF";
  return lines;
}

// A copy of `entries` in a block of the global heap, owned as the installer
// owns a spooler's answer (an enumeration releases its block when it goes).
template <typename Entries>
GlobalBlock<BYTE> GlobalCopy(const Entries& entries) {
  GlobalBlock<BYTE> block = GlobalBlock<BYTE>::Allocate(sizeof(entries));
  if (block) std::memcpy(block.Get(), &entries, sizeof(entries));
  return block;
}

// The texts of a string list, first to last.
inline std::vector<std::string> Items(const StringListNode* node) {
  std::vector<std::string> items;
  for (; node != nullptr; node = node->Next) items.push_back(Utf8(node->Text));
  return items;
}

class MachineTest : public ::testing::Test {
 protected:
  MachineTest() { Fresh(); }
  ~MachineTest() override { ExpectNothingLeft(); }
  // Every test, and every row of a table before the next, leaves no handle
  // open in the installer's processes (a run that ends leaves them to the
  // system, which counts them) and no block of the global or local heap.
  void ExpectNothingLeft() {
    std::size_t open = 0;
    for (const auto& [id, process] : machine().processes) {
      if (process.kind != winsim::ProgramKind::Installer) continue;
      open += process.running ? machine().handles.CountOf(id) : process.handlesLeftOpen;
    }
    EXPECT_EQ(open, 0u) << "the installer left handles open";
    EXPECT_TRUE(machine().memory.globalBlocks.empty()) << "a global-heap block was not released";
    EXPECT_TRUE(machine().memory.localBlocks.empty()) << "a local-heap block was not released";
  }
  void Fresh() {
    winsim::SetCurrent(winsim::presets::ProductMachine());
    SetLastError(kPoisonError);
  }
  // A new default machine for the next row of a table, once the checks on
  // the old one have run.
  void NextMachine() {
    ExpectNothingLeft();
    Fresh();
  }
  winsim::Machine& machine() { return winsim::Current(); }
  winsim::ProgramProfile& Profile(const std::u16string& fileName) {
    for (auto& profile : machine().programs) {
      if (profile.fileName == fileName) return profile;
    }
    throw std::runtime_error("no profile");
  }
  int Run(const std::u16string& arguments) {
    return winsim::RunWinMain(winsim::presets::kInstallerPath, winsim::presets::InstallerCommandLine(arguments));
  }
  // The exit code when `body`, run as the installer's code, ends the process.
  std::optional<UINT> RunCode(const std::function<void()>& body) { return winsim::RunAsProcess(body); }
};

// An InstallContext that starts empty, as InitContext leaves one before any
// line is written, and is released at the end of the test.
class ContextTest : public MachineTest {
 protected:
  ~ContextTest() override { FreeContext(context); }
  // The context released and emptied, then a new machine (after the checks
  // on the old one).
  void FreshRun() {
    FreeContext(context);
    context = InstallContext{};
    NextMachine();
  }
  InstallContext context{};
};
