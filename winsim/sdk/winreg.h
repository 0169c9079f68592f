// advapi32: the registry.
#pragma once
#include "windef.h"
#include "fileapi.h"

typedef DWORD ACCESS_MASK;
typedef ACCESS_MASK REGSAM;

#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)((LONG)0x80000000))
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)((LONG)0x80000001))
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)((LONG)0x80000002))
#define HKEY_USERS ((HKEY)(ULONG_PTR)((LONG)0x80000003))

// Standard rights (winnt.h); other headers may define the same values.
#ifndef READ_CONTROL
#define READ_CONTROL (0x00020000L)
#endif
#ifndef SYNCHRONIZE
#define SYNCHRONIZE (0x00100000L)
#endif
#ifndef STANDARD_RIGHTS_READ
#define STANDARD_RIGHTS_READ (READ_CONTROL)
#define STANDARD_RIGHTS_WRITE (READ_CONTROL)
#define STANDARD_RIGHTS_ALL (0x001F0000L)
#endif
#ifndef MAXIMUM_ALLOWED
#define MAXIMUM_ALLOWED (0x02000000L)
#endif

#define KEY_QUERY_VALUE (0x0001)
#define KEY_SET_VALUE (0x0002)
#define KEY_CREATE_SUB_KEY (0x0004)
#define KEY_ENUMERATE_SUB_KEYS (0x0008)
#define KEY_NOTIFY (0x0010)
#define KEY_CREATE_LINK (0x0020)
#define KEY_WOW64_32KEY (0x0200)
#define KEY_WOW64_64KEY (0x0100)
#define KEY_READ ((STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY) & (~SYNCHRONIZE))
#define KEY_WRITE ((STANDARD_RIGHTS_WRITE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY) & (~SYNCHRONIZE))
#define KEY_EXECUTE ((KEY_READ) & (~SYNCHRONIZE))
#define KEY_ALL_ACCESS                                                                                                 \
  ((STANDARD_RIGHTS_ALL | KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY | \
    KEY_CREATE_LINK) &                                                                                                 \
   (~SYNCHRONIZE))

#define REG_NONE (0UL)
#define REG_SZ (1UL)
#define REG_EXPAND_SZ (2UL)
#define REG_BINARY (3UL)
#define REG_DWORD (4UL)
#define REG_MULTI_SZ (7UL)
#define REG_QWORD (11UL)

#define REG_OPTION_NON_VOLATILE (0x00000000L)
#define REG_CREATED_NEW_KEY (0x00000001L)
#define REG_OPENED_EXISTING_KEY (0x00000002L)

LONG WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
LONG WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass, DWORD dwOptions,
                            REGSAM samDesired, LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                            LPDWORD lpdwDisposition);
LONG WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                             LPDWORD lpcbData);
LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                             LPDWORD lpcbData);
LONG WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                           DWORD cbData);
LONG WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName);
LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);
LONG WINAPI RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey);
LONG WINAPI RegCloseKey(HKEY hKey);

#ifdef WINSIM_TRACE_CALLS
#include <winsim/trace.h>
// How a trace shows each call: the letters are explained in winsim/trace.h.
#define RegOpenKeyExW(...) WINSIM_TRACED(RegOpenKeyExW, "r:hsdxo")(__VA_ARGS__)
#define RegOpenKeyExA(...) WINSIM_TRACED(RegOpenKeyExA, "r:hsdxo")(__VA_ARGS__)
#define RegCreateKeyExW(...) WINSIM_TRACED(RegCreateKeyExW, "r:hsdsxxpon")(__VA_ARGS__)
#define RegQueryValueExW(...) WINSIM_TRACED(RegQueryValueExW, "r:hspnpN")(__VA_ARGS__)
#define RegQueryValueExA(...) WINSIM_TRACED(RegQueryValueExA, "r:hspnpN")(__VA_ARGS__)
#define RegSetValueExW(...) WINSIM_TRACED(RegSetValueExW, "r:hsdTpd")(__VA_ARGS__)
#define RegDeleteValueW(...) WINSIM_TRACED(RegDeleteValueW, "r:hs")(__VA_ARGS__)
#define RegDeleteValueA(...) WINSIM_TRACED(RegDeleteValueA, "r:hs")(__VA_ARGS__)
#define RegDeleteKeyW(...) WINSIM_TRACED(RegDeleteKeyW, "r:hs")(__VA_ARGS__)
#define RegCloseKey(...) WINSIM_TRACED(RegCloseKey, "r:h")(__VA_ARGS__)
#endif
