#pragma once
#include <windef.h>

namespace winsim {
// English (1033) text of a system error code, without the line end; null
// when Windows has none.
const char* SystemMessageText(DWORD code);
}  // namespace winsim
