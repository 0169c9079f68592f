// The two-call fetch every spooler query goes through, written once.
#pragma once
#include <windows.h>

#include "global_block.h"

enum class FetchOutcome {
  Filled,          // the block holds the answer
  NothingToFetch,  // the sizing call itself succeeded: there is nothing to hold
  SizingFailed,    // the sizing call failed otherwise than for want of a block
  NoMemory,        // the block could not be allocated
  FillingFailed,   // the second call failed
};

// `call(block, size, &needed)` is made first with no block; only
// ERROR_INSUFFICIENT_BUFFER leads on, to a zero-filled block of the global
// heap of the needed size plus `spare` bytes, and the second call. More than
// `limit` bytes is a failure. On Filled `block` holds the answer; otherwise
// it is empty. An allocation failure sets E_OUTOFMEMORY; a failed filling
// call's error outlives the block's release.
template <typename T, typename Call>
FetchOutcome FetchSpoolerBlock(Call call, GlobalBlock<T>& block, DWORD& needed, SIZE_T spare = 0,
                               DWORD limit = MAXDWORD) {
  block.Reset();
  needed = 0;
  if (call(nullptr, 0, &needed)) return FetchOutcome::NothingToFetch;
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed > limit) return FetchOutcome::SizingFailed;
  block = GlobalBlock<T>::Allocate(SIZE_T{needed} + spare);
  if (!block) {
    SetLastError(static_cast<DWORD>(E_OUTOFMEMORY));
    return FetchOutcome::NoMemory;
  }
  if (!call(block.Bytes(), needed, &needed)) {
    const DWORD error = GetLastError();
    block.Reset();
    SetLastError(error);
    return FetchOutcome::FillingFailed;
  }
  return FetchOutcome::Filled;
}
