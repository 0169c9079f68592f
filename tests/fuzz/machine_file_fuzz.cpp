// LoadMachine over arbitrary text: it either loads or names one error in
// one line. A machine it loads saves to a file that loads back to the same
// machine, so saving that one again gives the same text.
#include <winsim/machine_json.h>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string error = "unset";
  const auto machine = winsim::LoadMachine(std::string(reinterpret_cast<const char*>(data), size), error);
  if (machine == nullptr) {
    Check(!error.empty() && error.find_first_of("\r\n") == std::string::npos);
    return 0;
  }
  Check(error.empty());
  const std::string saved = winsim::SaveMachine(*machine);
  const auto reloaded = winsim::LoadMachine(saved, error);
  Check(reloaded != nullptr);
  Check(winsim::SaveMachine(*reloaded) == saved);
  return 0;
}
