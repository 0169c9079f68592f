// version.dll: a file's version resource, laid out as a VS_VERSIONINFO block
// (header, "VS_VERSION_INFO" key, then the aligned VS_FIXEDFILEINFO).
#include <winver.h>
#include <windows.h>

#include "api.h"

using namespace winsim;

namespace {

const char16_t kKey[] = u"VS_VERSION_INFO";
constexpr std::size_t kHeader = 6;  // wLength, wValueLength, wType
constexpr std::size_t kFixedOffset = (kHeader + sizeof(kKey) + 3) & ~std::size_t{3};
constexpr std::size_t kBlockSize = kFixedOffset + sizeof(VS_FIXEDFILEINFO);

std::vector<BYTE> BuildBlock(const FileVersion& v) {
  std::vector<BYTE> block(kBlockSize, 0);
  const WORD header[3] = {static_cast<WORD>(kBlockSize), static_cast<WORD>(sizeof(VS_FIXEDFILEINFO)), 0};
  std::memcpy(block.data(), header, sizeof(header));
  std::memcpy(block.data() + kHeader, kKey, sizeof(kKey));
  VS_FIXEDFILEINFO info{};
  info.dwSignature = VS_FFI_SIGNATURE;
  info.dwStrucVersion = VS_FFI_STRUCVERSION;
  info.dwFileVersionMS = info.dwProductVersionMS = (DWORD{v.major} << 16) | v.minor;
  info.dwFileVersionLS = info.dwProductVersionLS = (DWORD{v.build} << 16) | v.revision;
  info.dwFileOS = 0x00040004;  // VOS_NT_WINDOWS32
  info.dwFileType = 2;         // VFT_DLL
  std::memcpy(block.data() + kFixedOffset, &info, sizeof(info));
  return block;
}

// The file's version, or null with the last error set.
const FileVersion* VersionOf(LPCWSTR path) {
  if (path == nullptr) {
    Fail(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  File* file = M().files.Find(FromWide(path));
  if (file == nullptr) {
    Fail(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  if (!file->version) {
    Fail(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  return &*file->version;
}

}  // namespace

DWORD WINAPI GetFileVersionInfoSizeW(LPCWSTR lptstrFilename, LPDWORD lpdwHandle) {
  WINSIM_FAULT(0);
  if (lpdwHandle) *lpdwHandle = 0;
  return VersionOf(lptstrFilename) ? static_cast<DWORD>(kBlockSize) : 0;
}

// Copies at most dwLen bytes of the block.
BOOL WINAPI GetFileVersionInfoW(LPCWSTR lptstrFilename, DWORD, DWORD dwLen, LPVOID lpData) {
  WINSIM_FAULT(FALSE);
  const FileVersion* version = VersionOf(lptstrFilename);
  if (version == nullptr) return FALSE;
  if (lpData == nullptr) {
    Fail(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::vector<BYTE> block = BuildBlock(*version);
  std::memcpy(lpData, block.data(), std::min<std::size_t>(dwLen, block.size()));
  return TRUE;
}

// Only the root block "\" is modelled; it yields the VS_FIXEDFILEINFO.
BOOL WINAPI VerQueryValueW(LPCVOID pBlock, LPCWSTR lpSubBlock, LPVOID* lplpBuffer, UINT* puLen) {
  WINSIM_FAULT(FALSE);
  if (pBlock == nullptr || lpSubBlock == nullptr || lplpBuffer == nullptr) return FALSE;
  const auto* block = static_cast<const BYTE*>(pBlock);
  WORD length = 0;
  WORD valueLength = 0;
  std::memcpy(&length, block, sizeof(length));
  std::memcpy(&valueLength, block + 2, sizeof(valueLength));
  if (length < kBlockSize || valueLength != sizeof(VS_FIXEDFILEINFO) ||
      std::memcmp(block + kHeader, kKey, sizeof(kKey)) != 0) {
    return FALSE;
  }
  if (FromWide(lpSubBlock) != u"\\") {
    Fail(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return FALSE;
  }
  *lplpBuffer = const_cast<BYTE*>(block + kFixedOffset);
  if (puLen) *puLen = sizeof(VS_FIXEDFILEINFO);
  return TRUE;
}
