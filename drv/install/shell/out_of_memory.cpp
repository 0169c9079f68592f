#include "out_of_memory.h"

#include <windows.h>

void EndRunOutOfMemory() { ExitProcess(ExitCodeOutOfMemory); }
