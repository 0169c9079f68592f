// The machine each case starts on: on winsim a fresh Windows x64 per case;
// under Wine the prefix as it is, with an empty work directory.
#pragma once

namespace conformance {
void PrepareMachine();
}
