#include "global_block.h"

void* AllocateGlobalBlock(SIZE_T bytes) { return GlobalAlloc(GPTR, bytes); }

void FreeGlobalBlock(void* block) { GlobalFree(block); }
