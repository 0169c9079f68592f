#include "pending_renames.h"

#include <cstring>

#include "../shell/global_block.h"

namespace {

// The end of the string that starts at `position`: the index of its
// terminator, or `units` when the bytes received end before one.
DWORD StringEnd(const WCHAR* chars, DWORD units, DWORD position) {
  while (position < units && chars[position] != 0) ++position;
  return position;
}

// A zero-filled global-heap copy of `length` characters, or null.
LPWSTR CopyString(const WCHAR* chars, DWORD length) {
  auto* copy = static_cast<LPWSTR>(GlobalAlloc(GPTR, (SIZE_T{length} + 1) * sizeof(WCHAR)));
  if (copy != nullptr) std::memcpy(copy, chars, SIZE_T{length} * sizeof(WCHAR));
  return copy;
}

// The value's bytes in `block` and how many were received; false (nothing
// held) when there is no usable value.
bool FetchValue(GlobalBlock<BYTE>& block, DWORD& bytes) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, TEXT("SYSTEM\\CurrentControlSet\\Control\\Session Manager"), 0, KEY_READ,
                    &key) != ERROR_SUCCESS) {
    return false;
  }
  LPCWSTR name = TEXT("PendingFileRenameOperations");
  DWORD type = REG_NONE;
  DWORD size = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || size == 0 ||
      type != REG_MULTI_SZ) {
    RegCloseKey(key);
    return false;
  }
  block = GlobalBlock<BYTE>::Allocate(size);
  if (!block) {
    RegCloseKey(key);
    return false;
  }
  // The value may change between the two calls: take only what the second
  // one delivers, and never more than the block holds.
  DWORD received = size;
  const LONG status = RegQueryValueExW(key, name, nullptr, &type, block.Get(), &received);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_MULTI_SZ) {
    block.Reset();
    return false;
  }
  bytes = received < size ? received : size;
  return true;
}

}  // namespace

LPCWSTR SkipObjectNamespacePrefix(LPCWSTR path) {
  if (path != nullptr && path[0] == '\\' && path[1] == '?' && path[2] == '?' && path[3] == '\\') return path + 4;
  return path;
}

PendingRenameList ReadPendingRenames() {
  PendingRenameList list = {nullptr, nullptr, 0};
  GlobalBlock<BYTE> block;
  DWORD bytes = 0;
  if (!FetchValue(block, bytes)) return list;

  const auto* chars = reinterpret_cast<const WCHAR*>(block.Get());
  const DWORD units = bytes / sizeof(WCHAR);      // an odd last byte is no character
  const DWORD limit = units > 0 ? units - 1 : 0;  // the characters before the final zero

  DWORD strings = 0;
  for (DWORD position = 0; position < limit;) {
    const DWORD end = StringEnd(chars, units, position);
    if (end == units) break;  // cut off without its terminator: not a whole path
    ++strings;
    position = end + 1;
  }
  const DWORD pairs = strings / 2;
  if (pairs == 0) return list;

  const SIZE_T entries = SIZE_T{pairs} * 2;
  list.Paths = static_cast<LPWSTR*>(GlobalAlloc(GPTR, entries * sizeof(LPWSTR)));
  list.IsFile = static_cast<DWORD*>(GlobalAlloc(GPTR, entries * sizeof(DWORD)));
  list.PairCount = pairs;
  bool complete = list.Paths != nullptr && list.IsFile != nullptr;

  SIZE_T entry = 0;
  for (DWORD position = 0; complete && position < limit && entry < entries; ++entry) {
    const DWORD end = StringEnd(chars, units, position);
    if (end == units) break;
    if (end != position) {
      LPWSTR path = CopyString(chars + position, end - position);
      if (path == nullptr) {
        complete = false;
        break;
      }
      list.Paths[entry] = path;
      const DWORD attributes = GetFileAttributesW(SkipObjectNamespacePrefix(path));
      list.IsFile[entry] = (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) ? 1 : 0;
    }
    position = end + 1;
  }
  // The value goes before a partial list does.
  block.Reset();
  // Memory ran out: an empty list rather than a partial one.
  if (!complete) FreePendingRenameList(list);
  return list;
}

void DeletePendingLeftovers(PendingRenameList& list) {
  if (list.Paths == nullptr || list.IsFile == nullptr) return;
  for (DWORD pair = 0; pair < list.PairCount; ++pair) {
    const SIZE_T source = SIZE_T{pair} * 2;
    // Windows will find the file already gone at the restart.
    if (list.IsFile[source] && list.Paths[source] != nullptr && list.Paths[source + 1] == nullptr &&
        DeleteFileW(SkipObjectNamespacePrefix(list.Paths[source]))) {
      list.IsFile[source] = 0;
    }
  }
}

void FreePendingRenameList(PendingRenameList& list) {
  if (list.Paths != nullptr) {
    for (SIZE_T entry = 0; entry < SIZE_T{list.PairCount} * 2; ++entry) {
      if (list.Paths[entry] != nullptr) GlobalFree(list.Paths[entry]);
    }
    GlobalFree(list.Paths);
  }
  if (list.IsFile != nullptr) GlobalFree(list.IsFile);
  list = PendingRenameList{nullptr, nullptr, 0};
}
