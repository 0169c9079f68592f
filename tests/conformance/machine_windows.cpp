// The cases on Windows or under Wine: one process, one prefix; the work
// directory is emptied before each case.
#include <windows.h>

#include <string>

#include "conformance.h"
#include "machine_setup.h"

namespace conformance {

bool OnWine() {
  static const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  return wine;
}

const WCHAR* WorkDirectory() { return L"C:\\conformance"; }

void PrepareMachine() {
  CreateDirectoryW(WorkDirectory(), nullptr);
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(L"C:\\conformance\\*", &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    std::wstring path = std::wstring(L"C:\\conformance\\") + found.cFileName;
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW(path.c_str());
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

}  // namespace conformance
