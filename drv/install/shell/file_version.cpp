#include "file_version.h"

#include "global_block.h"

LONG GetFileBuildNumber(LPCWSTR path) {
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(path, &handle);
  if (size == 0) return -1;
  const GlobalBlock<BYTE> block = GlobalBlock<BYTE>::Allocate(size);
  if (!block) return -1;
  LONG build = -1;
  VS_FIXEDFILEINFO* info = nullptr;
  UINT infoSize = 0;
  if (GetFileVersionInfoW(path, handle, size, block.Get()) &&
      VerQueryValueW(block.Get(), TEXT("\\"), reinterpret_cast<LPVOID*>(&info), &infoSize) && info != nullptr &&
      infoSize >= sizeof(VS_FIXEDFILEINFO)) {
    build = static_cast<LONG>(LOWORD(info->dwProductVersionLS));
  }
  return build;
}
