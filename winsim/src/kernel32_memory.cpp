// kernel32: the global and local heaps. Every live block is recorded so a
// test can assert that a run released what it took.
#include <cstdlib>

#include <windows.h>

#include "api.h"

using namespace winsim;

namespace {

void* Allocate(std::map<void*, std::size_t>& blocks, UINT flags, SIZE_T bytes) {
  if (flags & GMEM_MOVEABLE) {  // the installer only ever takes fixed blocks
    Fail(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  void* block = std::malloc(bytes == 0 ? 1 : bytes);
  if (block == nullptr) {
    Fail(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  // Windows gives no promise about the contents; a pattern makes reliance on
  // zeros visible.
  std::memset(block, (flags & GMEM_ZEROINIT) ? 0 : 0xCD, bytes);
  blocks[block] = bytes;
  return block;
}

void* Release(std::map<void*, std::size_t>& blocks, void* block) {
  if (block == nullptr) return nullptr;
  auto it = blocks.find(block);
  if (it == blocks.end()) {
    Fail(ERROR_INVALID_HANDLE);
    return block;
  }
  blocks.erase(it);
  std::free(block);
  return nullptr;
}

}  // namespace

HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes) {
  WINSIM_FAULT(nullptr);
  return Allocate(M().memory.globalBlocks, uFlags, dwBytes);
}

HGLOBAL WINAPI GlobalFree(HGLOBAL hMem) { return Release(M().memory.globalBlocks, hMem); }

HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes) {
  WINSIM_FAULT(nullptr);
  return Allocate(M().memory.localBlocks, uFlags, uBytes);
}

HLOCAL WINAPI LocalFree(HLOCAL hMem) { return Release(M().memory.localBlocks, hMem); }
