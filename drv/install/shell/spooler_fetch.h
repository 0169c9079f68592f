// The two-call fetch every spooler query goes through, and the owner of the
// block it fills, written once.
#pragma once
#include <windows.h>

// A global-heap block that a spooler fetch filled, seen as `T` records. The
// owner releases it when it goes, or on Reset; no caller writes GlobalFree.
// Move-only, so a block has one owner wherever it is handed. A run ended by
// ExitProcess drops it unreleased with the rest of the process, as Windows does.
template <typename T>
class SpoolerBlock {
 public:
  SpoolerBlock() = default;
  // Takes over a block of the global heap (null is empty).
  explicit SpoolerBlock(T* block) : block_(block) {}
  ~SpoolerBlock() { Reset(); }
  SpoolerBlock(SpoolerBlock&& other) noexcept : block_(other.block_) { other.block_ = nullptr; }
  SpoolerBlock& operator=(SpoolerBlock&& other) noexcept {
    if (this != &other) {
      Reset();
      block_ = other.block_;
      other.block_ = nullptr;
    }
    return *this;
  }
  SpoolerBlock(const SpoolerBlock&) = delete;
  SpoolerBlock& operator=(const SpoolerBlock&) = delete;

  // Releases the block; the owner becomes empty.
  void Reset() {
    if (block_ != nullptr) GlobalFree(block_);
    block_ = nullptr;
  }
  T* Get() const { return block_; }
  LPBYTE Bytes() const { return reinterpret_cast<LPBYTE>(block_); }
  T& operator*() const { return *block_; }
  T* operator->() const { return block_; }
  T& operator[](SIZE_T index) const { return block_[index]; }
  explicit operator bool() const { return block_ != nullptr; }

 private:
  T* block_ = nullptr;
};

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
FetchOutcome FetchSpoolerBlock(Call call, SpoolerBlock<T>& block, DWORD& needed, SIZE_T spare = 0,
                               DWORD limit = MAXDWORD) {
  block.Reset();
  needed = 0;
  if (call(nullptr, 0, &needed)) return FetchOutcome::NothingToFetch;
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed > limit) return FetchOutcome::SizingFailed;
  block = SpoolerBlock<T>(static_cast<T*>(GlobalAlloc(GPTR, SIZE_T{needed} + spare)));
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
