// user32: the process's window station, and what GetUserObjectInformationW
// tells of it.
#include <windows.h>

#include <cstring>
#include <vector>

#include "api.h"

using namespace winsim;

static_assert(sizeof(USEROBJECTFLAGS) == 12, "USEROBJECTFLAGS must have the SDK's size");

HWINSTA WINAPI GetProcessWindowStation() {
  WINSIM_FAULT(nullptr);
  return reinterpret_cast<HWINSTA>(kProcessStationHandle);
}

// The process's window station tells its flags (WSF_VISIBLE when someone can
// see it) and its name. Windows probes the buffer first (ERROR_NOACCESS),
// then writes the size needed (0 for another handle, ERROR_INVALID_HANDLE, or
// another index, ERROR_INVALID_PARAMETER); a buffer smaller than that fails
// with ERROR_INSUFFICIENT_BUFFER and gets nothing.
BOOL WINAPI GetUserObjectInformationW(HANDLE hObj, int nIndex, PVOID pvInfo, DWORD nLength, LPDWORD lpnLengthNeeded) {
  WINSIM_FAULT(FALSE);
  if (pvInfo == nullptr && nLength != 0) {
    Fail(ERROR_NOACCESS);
    return FALSE;
  }
  if (lpnLengthNeeded != nullptr) *lpnLengthNeeded = 0;
  if (HandleValue(hObj) != kProcessStationHandle) {
    Fail(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  const WindowStation& station = M().desktop.station;
  std::vector<BYTE> info;
  if (nIndex == UOI_FLAGS) {
    USEROBJECTFLAGS flags{};
    flags.dwFlags = station.visible ? WSF_VISIBLE : 0;
    const auto* bytes = reinterpret_cast<const BYTE*>(&flags);
    info.assign(bytes, bytes + sizeof(flags));
  } else if (nIndex == UOI_NAME) {
    const auto* bytes = reinterpret_cast<const BYTE*>(station.name.c_str());
    info.assign(bytes, bytes + (station.name.size() + 1) * sizeof(char16_t));
  } else {
    Fail(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const auto size = static_cast<DWORD>(info.size());
  if (lpnLengthNeeded != nullptr) *lpnLengthNeeded = size;
  if (nLength < size || pvInfo == nullptr) {  // a null buffer has no length
    Fail(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(pvInfo, info.data(), size);
  return TRUE;
}
