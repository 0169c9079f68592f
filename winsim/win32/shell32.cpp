// shell32: command-line splitting with Windows' rules; the special folders.
#include <shellapi.h>
#include <shlobj.h>
#include <windows.h>

#include <vector>

#include "api.h"

using namespace winsim;

namespace {

bool IsBlank(WCHAR c) { return c == u' ' || c == u'\t'; }

// Splits as CommandLineToArgvW does: the program path (element 0) ends at
// the closing quote or the first blank, with no escapes. Later elements are
// separated by blanks outside quotes; 2n backslashes before a quote give n
// backslashes and the quote toggles quoting, 2n+1 give n backslashes and a
// literal quote, other backslashes are literal; a run of three quotes gives
// one literal quote.
std::vector<std::u16string> Split(LPCWSTR s) {
  std::vector<std::u16string> args;
  std::u16string arg;
  if (*s == u'"') {
    ++s;
    while (*s && *s != u'"') arg.push_back(*s++);
    if (*s == u'"') ++s;
  } else {
    while (*s && !IsBlank(*s)) arg.push_back(*s++);
  }
  args.push_back(arg);
  while (IsBlank(*s)) ++s;
  if (*s == 0) return args;

  arg.clear();
  int quotes = 0;  // 1 while inside quotes
  std::size_t backslashes = 0;
  for (;;) {
    const WCHAR c = *s;
    if (c == 0 || (IsBlank(c) && quotes == 0)) {
      args.push_back(arg);
      arg.clear();
      backslashes = 0;
      while (IsBlank(*s)) ++s;
      if (*s == 0) break;
      continue;
    }
    if (c == u'\\') {
      arg.push_back(c);
      ++backslashes;
      ++s;
      continue;
    }
    if (c == u'"') {
      arg.resize(arg.size() - backslashes / 2);
      if (backslashes % 2 == 1) {
        arg.back() = u'"';  // the odd backslash becomes the literal quote
      } else {
        ++quotes;
      }
      ++s;
      backslashes = 0;
      while (*s == u'"') {
        if (++quotes == 3) {
          arg.push_back(u'"');
          quotes = 0;
        }
        ++s;
      }
      if (quotes == 2) quotes = 0;
      continue;
    }
    arg.push_back(c);
    backslashes = 0;
    ++s;
  }
  return args;
}

}  // namespace

// One LocalAlloc block: the pointer array (null-terminated), then the strings.
LPWSTR* WINAPI CommandLineToArgvW(LPCWSTR lpCmdLine, int* pNumArgs) {
  WINSIM_FAULT(nullptr);
  if (pNumArgs == nullptr || lpCmdLine == nullptr) {
    Fail(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::vector<std::u16string> args;
  if (*lpCmdLine == 0) {
    args.push_back(M().Caller().image);
  } else {
    args = Split(lpCmdLine);
  }
  SIZE_T bytes = (args.size() + 1) * sizeof(LPWSTR);
  for (const auto& a : args) bytes += (a.size() + 1) * sizeof(WCHAR);
  auto* block = static_cast<BYTE*>(AllocateLocal(LMEM_FIXED, bytes));
  if (block == nullptr) return nullptr;
  auto** argv = reinterpret_cast<LPWSTR*>(block);
  auto* text = reinterpret_cast<LPWSTR>(block + (args.size() + 1) * sizeof(LPWSTR));
  for (std::size_t i = 0; i < args.size(); ++i) {
    argv[i] = text;
    std::memcpy(text, args[i].c_str(), (args[i].size() + 1) * sizeof(WCHAR));
    text += args[i].size() + 1;
  }
  argv[args.size()] = nullptr;
  *pNumArgs = static_cast<int>(args.size());
  return argv;
}

// ============================================================================
// shell32: the special folders. Each lies on the system directory's drive,
// as on a fresh Windows; only those the installer could ask for are known.

namespace {

// The folder a CSIDL (without its flags) names, or empty for one not modelled.
std::u16string SpecialFolder(int csidl) {
  const std::u16string& system = M().systemDirectory;
  const std::u16string drive = system.substr(0, 2);
  switch (csidl) {
    case CSIDL_COMMON_APPDATA: return drive + u"\\ProgramData";
    case CSIDL_PROGRAM_FILES: return drive + u"\\Program Files";
    case CSIDL_WINDOWS: return ParentPath(system);
    case CSIDL_SYSTEM: return system;
    default: return std::u16string();
  }
}

}  // namespace

// The buffer holds MAX_PATH characters; on failure it is left empty. A
// folder missing from the machine gives HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)
// (Microsoft documents E_FAIL; Windows since Vista and Wine give this one)
// unless CSIDL_FLAG_CREATE makes it, with the folders above it;
// CSIDL_FLAG_DONT_VERIFY gives the path without looking.
HRESULT WINAPI SHGetFolderPathW(HWND, int csidl, HANDLE, DWORD dwFlags, LPWSTR pszPath) {
  WINSIM_FAULT(E_FAIL);
  if (pszPath != nullptr) *pszPath = 0;
  const std::u16string folder = SpecialFolder(csidl & ~CSIDL_FLAG_MASK);
  if (folder.empty() || (dwFlags != SHGFP_TYPE_CURRENT && dwFlags != SHGFP_TYPE_DEFAULT) || pszPath == nullptr) {
    return E_INVALIDARG;
  }
  FileSystem& fs = M().files;
  if (!(csidl & CSIDL_FLAG_DONT_VERIFY) && !fs.IsDirectory(folder)) {
    if (!(csidl & CSIDL_FLAG_CREATE)) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    // A file in the way of any folder on the path leaves it uncreated.
    for (std::u16string dir = folder; dir.size() > 3; dir = ParentPath(dir)) {
      if (fs.Find(dir) != nullptr) return E_FAIL;
    }
    fs.AddDirectory(folder);
  }
  std::memcpy(pszPath, folder.c_str(), (folder.size() + 1) * sizeof(WCHAR));
  return S_OK;
}
