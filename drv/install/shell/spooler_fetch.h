// The two-call fetch every spooler query goes through, written once.
#pragma once
#include <windows.h>

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
// `limit` bytes is a failure. On Filled the block belongs to the caller
// (GlobalFree); otherwise it is null and nothing is held. An allocation
// failure sets E_OUTOFMEMORY.
template <typename Call>
FetchOutcome FetchSpoolerBlock(Call call, LPBYTE& block, DWORD& needed, SIZE_T spare = 0, DWORD limit = MAXDWORD) {
  block = nullptr;
  needed = 0;
  if (call(nullptr, 0, &needed)) return FetchOutcome::NothingToFetch;
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed > limit) return FetchOutcome::SizingFailed;
  auto* filled = static_cast<LPBYTE>(GlobalAlloc(GPTR, SIZE_T{needed} + spare));
  if (filled == nullptr) {
    SetLastError(static_cast<DWORD>(E_OUTOFMEMORY));
    return FetchOutcome::NoMemory;
  }
  if (!call(filled, needed, &needed)) {
    const DWORD error = GetLastError();
    GlobalFree(filled);
    SetLastError(error);
    return FetchOutcome::FillingFailed;
  }
  block = filled;
  return FetchOutcome::Filled;
}
