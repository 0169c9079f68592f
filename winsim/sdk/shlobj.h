// shell32: the special folders by their CSIDL.
#pragma once
#include "windef.h"

#define CSIDL_WINDOWS 0x0024
#define CSIDL_SYSTEM 0x0025
#define CSIDL_PROGRAM_FILES 0x0026
#define CSIDL_COMMON_APPDATA 0x0023
#define CSIDL_FLAG_DONT_VERIFY 0x4000
#define CSIDL_FLAG_CREATE 0x8000
#define CSIDL_FLAG_MASK 0xFF00

#define SHGFP_TYPE_CURRENT 0
#define SHGFP_TYPE_DEFAULT 1

#ifndef E_INVALIDARG
#define E_INVALIDARG ((HRESULT)0x80070057L)
#endif
#ifndef HRESULT_FROM_WIN32
#define HRESULT_FROM_WIN32(x) \
  ((HRESULT)(x) <= 0 ? ((HRESULT)(x)) : ((HRESULT)(((x)&0x0000FFFF) | (7 << 16) | 0x80000000)))
#endif

HRESULT WINAPI SHGetFolderPathW(HWND hwnd, int csidl, HANDLE hToken, DWORD dwFlags, LPWSTR pszPath);

#ifdef WINSIM_TRACE_CALLS
#include <winsim/trace.h>
// How a trace shows each call: the letters are explained in winsim/trace.h.
#define SHGetFolderPathW(...) WINSIM_TRACED(SHGetFolderPathW, "x:hdhdp")(__VA_ARGS__)
#endif
