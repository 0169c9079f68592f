// ReadPendingRenames and DeletePendingLeftovers over arbitrary bytes of
// "PendingFileRenameOperations". The first byte picks the value's type
// (below 0x80: REG_MULTI_SZ); the rest is the value. Beyond the sanitizers'
// checks, the list must be exactly the leading whole strings of the value,
// and everything taken must be released again.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <winsim/machine.h>

#include "files/pending_renames.h"
#include "fuzz_support.h"

namespace {

// A few files and a directory the fuzzer's paths can name; one is held.
std::unique_ptr<winsim::Machine> SmallMachine() {
  auto machine = std::make_unique<winsim::Machine>();
  machine->files.Put(u"C:\\a", {1});
  machine->files.Put(u"C:\\b\\c.dll", {2});
  machine->files.Put(u"C:\\b\\held.dll", {3});
  machine->files.AddDirectory(u"C:\\d");
  winsim::LockFile(*machine, u"C:\\b\\held.dll");
  return machine;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::unique_ptr<winsim::Machine> small = SmallMachine();
  winsim::Machine& machine = CopyOf(*small);
  std::vector<BYTE> value;
  if (size > 0) {
    const DWORD otherTypes[] = {REG_SZ, REG_BINARY, REG_DWORD, REG_NONE};
    const DWORD type = data[0] < 0x80 ? REG_MULTI_SZ : otherTypes[data[0] & 3];
    value.assign(data + 1, data + size);
    machine.registry.SetValue(winsim::kSessionManagerKey, winsim::kPendingRenamesValue, type, value);
  }

  PendingRenameList list = ReadPendingRenames();
  Check((list.Paths == nullptr) == (list.PairCount == 0));
  Check((list.IsFile == nullptr) == (list.PairCount == 0));
  // The entries, each with its terminator, are a prefix of the value's characters.
  std::u16string taken;
  for (DWORD i = 0; i < list.PairCount * 2; ++i) {
    Check(list.IsFile[i] <= 1);
    Check(list.Paths[i] != nullptr || list.IsFile[i] == 0);
    if (list.Paths[i] != nullptr) taken += list.Paths[i];
    taken.push_back(0);
  }
  Check(taken.size() * sizeof(char16_t) <= value.size());
  Check(taken.empty() || std::memcmp(taken.data(), value.data(), taken.size() * sizeof(char16_t)) == 0);

  DeletePendingLeftovers(list);
  Check(machine.files.Find(u"C:\\b\\held.dll") != nullptr);
  Check(machine.files.IsDirectory(u"C:\\d"));
  FreePendingRenameList(list);
  Check(list.Paths == nullptr && list.IsFile == nullptr && list.PairCount == 0);
  Check(machine.memory.globalBlocks.empty());
  Check(machine.handles.entries.empty());
  return 0;
}
