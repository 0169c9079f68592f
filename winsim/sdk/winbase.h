// kernel32: errors, memory, time, module and process information, strings.
#pragma once
#include <cstdarg>
#include "windef.h"
#include "winerror.h"
#include "fileapi.h"

#define GMEM_FIXED 0x0000
#define GMEM_MOVEABLE 0x0002
#define GMEM_ZEROINIT 0x0040
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)
#define LMEM_FIXED 0x0000
#define LMEM_ZEROINIT 0x0040
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_STRING 0x00000400
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000
#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FF

#define CP_ACP 0
#define CP_UTF8 65001
#define MB_PRECOMPOSED 0x00000001
#define MB_ERR_INVALID_CHARS 0x00000008
#define WC_NO_BEST_FIT_CHARS 0x00000400
#define WC_ERR_INVALID_CHARS 0x00000080
#ifndef ERROR_INVALID_FLAGS
#define ERROR_INVALID_FLAGS 1004L
#endif
#ifndef ERROR_NO_UNICODE_TRANSLATION
#define ERROR_NO_UNICODE_TRANSLATION 1113L
#endif

DWORD WINAPI GetLastError();
void WINAPI SetLastError(DWORD dwErrCode);

HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes);
HGLOBAL WINAPI GlobalFree(HGLOBAL hMem);
HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes);
HLOCAL WINAPI LocalFree(HLOCAL hMem);

void WINAPI Sleep(DWORD dwMilliseconds);
DWORD WINAPI GetTickCount();

typedef struct _SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
} SYSTEMTIME, *PSYSTEMTIME, *LPSYSTEMTIME;

void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime);

LPWSTR WINAPI GetCommandLineW();
DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize);
UINT WINAPI GetSystemDirectoryW(LPWSTR lpBuffer, UINT uSize);
[[noreturn]] void WINAPI ExitProcess(UINT uExitCode);

// Synchronization: named mutexes and waits.
#define INFINITE 0xFFFFFFFF
#define WAIT_OBJECT_0 0x00000000L
#define WAIT_ABANDONED 0x00000080L
#define WAIT_ABANDONED_0 WAIT_ABANDONED
#define WAIT_FAILED ((DWORD)0xFFFFFFFF)
#define SYNCHRONIZE (0x00100000L)
#define MUTEX_ALL_ACCESS 0x001F0001

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner, LPCSTR lpName);
HANDLE WINAPI CreateMutexW(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner, LPCWSTR lpName);
HANDLE WINAPI OpenMutexA(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCSTR lpName);
HANDLE WINAPI OpenMutexW(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCWSTR lpName);
BOOL WINAPI ReleaseMutex(HANDLE hMutex);
DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);

// Processes.
#define STILL_ACTIVE 259
#define PROCESS_ALL_ACCESS 0x001FFFFF
#define THREAD_ALL_ACCESS 0x001FFFFF
#define NORMAL_PRIORITY_CLASS 0x00000020
#define CREATE_NO_WINDOW 0x08000000
#define STARTF_USESHOWWINDOW 0x00000001

typedef struct _STARTUPINFOW {
  DWORD cb;
  LPWSTR lpReserved;
  LPWSTR lpDesktop;
  LPWSTR lpTitle;
  DWORD dwX;
  DWORD dwY;
  DWORD dwXSize;
  DWORD dwYSize;
  DWORD dwXCountChars;
  DWORD dwYCountChars;
  DWORD dwFillAttribute;
  DWORD dwFlags;
  WORD wShowWindow;
  WORD cbReserved2;
  LPBYTE lpReserved2;
  HANDLE hStdInput;
  HANDLE hStdOutput;
  HANDLE hStdError;
} STARTUPINFOW, *LPSTARTUPINFOW;

typedef struct _PROCESS_INFORMATION {
  HANDLE hProcess;
  HANDLE hThread;
  DWORD dwProcessId;
  DWORD dwThreadId;
} PROCESS_INFORMATION, *PPROCESS_INFORMATION, *LPPROCESS_INFORMATION;

BOOL WINAPI CreateProcessW(LPCWSTR lpApplicationName, LPWSTR lpCommandLine, LPSECURITY_ATTRIBUTES lpProcessAttributes,
                           LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles, DWORD dwCreationFlags,
                           LPVOID lpEnvironment, LPCWSTR lpCurrentDirectory, LPSTARTUPINFOW lpStartupInfo,
                           LPPROCESS_INFORMATION lpProcessInformation);
BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode);
BOOL WINAPI TerminateProcess(HANDLE hProcess, UINT uExitCode);

// The version of Windows.
#define VER_PLATFORM_WIN32_NT 2
#define VER_NT_WORKSTATION 0x0000001
#define VER_SUITE_SINGLEUSERTS 0x00000100

typedef struct _OSVERSIONINFOA {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  CHAR szCSDVersion[128];
} OSVERSIONINFOA, *POSVERSIONINFOA, *LPOSVERSIONINFOA;

typedef struct _OSVERSIONINFOEXA {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  CHAR szCSDVersion[128];
  WORD wServicePackMajor;
  WORD wServicePackMinor;
  WORD wSuiteMask;
  BYTE wProductType;
  BYTE wReserved;
} OSVERSIONINFOEXA, *POSVERSIONINFOEXA, *LPOSVERSIONINFOEXA;

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation);

DWORD WINAPI FormatMessageW(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId, LPWSTR lpBuffer,
                            DWORD nSize, va_list* Arguments);

int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar);
int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar, LPBOOL lpUsedDefaultChar);

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nShowCmd);

#ifdef WINSIM_TRACE_CALLS
#include <winsim/trace.h>
// How a trace shows each call: the letters are explained in winsim/trace.h.
#define GetLastError(...) WINSIM_TRACED(GetLastError, "d:")(__VA_ARGS__)
#define SetLastError(...) WINSIM_TRACED(SetLastError, "v:d")(__VA_ARGS__)
#define GlobalAlloc(...) WINSIM_TRACED(GlobalAlloc, "m:xd")(__VA_ARGS__)
#define GlobalFree(...) WINSIM_TRACED(GlobalFree, "f:p")(__VA_ARGS__)
#define LocalAlloc(...) WINSIM_TRACED(LocalAlloc, "m:xd")(__VA_ARGS__)
#define LocalFree(...) WINSIM_TRACED(LocalFree, "f:p")(__VA_ARGS__)
#define Sleep(...) WINSIM_TRACED(Sleep, "v:d")(__VA_ARGS__)
#define GetTickCount(...) WINSIM_TRACED(GetTickCount, "d:")(__VA_ARGS__)
#define GetLocalTime(...) WINSIM_TRACED(GetLocalTime, "v:p")(__VA_ARGS__)
#define GetCommandLineW(...) WINSIM_TRACED(GetCommandLineW, "s:")(__VA_ARGS__)
#define GetModuleFileNameW(...) WINSIM_TRACED(GetModuleFileNameW, "c:hwd")(__VA_ARGS__)
#define GetSystemDirectoryW(...) WINSIM_TRACED(GetSystemDirectoryW, "c:wd")(__VA_ARGS__)
#define ExitProcess(...) WINSIM_TRACED(ExitProcess, "v:d").NoReturn(__VA_ARGS__)
#define CreateMutexA(...) WINSIM_TRACED(CreateMutexA, "h:pbs")(__VA_ARGS__)
#define CreateMutexW(...) WINSIM_TRACED(CreateMutexW, "h:pbs")(__VA_ARGS__)
#define OpenMutexA(...) WINSIM_TRACED(OpenMutexA, "h:xbs")(__VA_ARGS__)
#define OpenMutexW(...) WINSIM_TRACED(OpenMutexW, "h:xbs")(__VA_ARGS__)
#define ReleaseMutex(...) WINSIM_TRACED(ReleaseMutex, "b:h")(__VA_ARGS__)
#define WaitForSingleObject(...) WINSIM_TRACED(WaitForSingleObject, "x:hd")(__VA_ARGS__)
#define CreateProcessW(...) WINSIM_TRACED(CreateProcessW, "b:ssppbxpspp")(__VA_ARGS__)
#define GetExitCodeProcess(...) WINSIM_TRACED(GetExitCodeProcess, "b:hn")(__VA_ARGS__)
#define TerminateProcess(...) WINSIM_TRACED(TerminateProcess, "b:hd")(__VA_ARGS__)
#define GetVersionExA(...) WINSIM_TRACED(GetVersionExA, "b:p")(__VA_ARGS__)
#define FormatMessageW(...) WINSIM_TRACED(FormatMessageW, "c:xpdxpdp")(__VA_ARGS__)
#define MultiByteToWideChar(...) WINSIM_TRACED(MultiByteToWideChar, "c:dxpdpd")(__VA_ARGS__)
#define WideCharToMultiByte(...) WINSIM_TRACED(WideCharToMultiByte, "c:dxpdpdpp")(__VA_ARGS__)
#endif
