// The one owner of a block of the global heap.
#pragma once
#include <windows.h>

// The heap calls the owner makes, out of line: a template's code is
// compiled wherever it is used, and these calls belong to the installer's
// own code wherever that is.
void* AllocateGlobalBlock(SIZE_T bytes);  // zero-filled; null when the heap refuses
void FreeGlobalBlock(void* block);

// A block of the global heap seen as `T` records, such as a spooler fetch
// fills. The owner releases it when it goes, or on Reset; no caller writes
// GlobalFree. Move-only, so a block has one owner wherever it is handed. A
// run ended by ExitProcess drops it unreleased with the rest of the process,
// as Windows does.
template <typename T>
class GlobalBlock {
 public:
  GlobalBlock() = default;
  // Takes over a block of the global heap (null is empty).
  explicit GlobalBlock(T* block) : block_(block) {}
  // A new zero-filled block of `bytes`; empty when the heap refuses it.
  static GlobalBlock Allocate(SIZE_T bytes) { return GlobalBlock(static_cast<T*>(AllocateGlobalBlock(bytes))); }
  ~GlobalBlock() { Reset(); }
  GlobalBlock(GlobalBlock&& other) noexcept : block_(other.block_) { other.block_ = nullptr; }
  GlobalBlock& operator=(GlobalBlock&& other) noexcept {
    if (this != &other) {
      Reset();
      block_ = other.block_;
      other.block_ = nullptr;
    }
    return *this;
  }
  GlobalBlock(const GlobalBlock&) = delete;
  GlobalBlock& operator=(const GlobalBlock&) = delete;

  // Releases the block; the owner becomes empty.
  void Reset() {
    if (block_ != nullptr) FreeGlobalBlock(block_);
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
