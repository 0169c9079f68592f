// kernel32: files.
#pragma once
#include "windef.h"

typedef struct _SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *PSECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

typedef struct _OVERLAPPED {
  ULONG_PTR Internal;
  ULONG_PTR InternalHigh;
  union {
    struct {
      DWORD Offset;
      DWORD OffsetHigh;
    };
    PVOID Pointer;
  };
  HANDLE hEvent;
} OVERLAPPED, *LPOVERLAPPED;

// Access rights (winnt.h); other headers may define the same values.
#ifndef DELETE
#define DELETE (0x00010000L)
#endif
#ifndef GENERIC_READ
#define GENERIC_READ (0x80000000L)
#define GENERIC_WRITE (0x40000000L)
#define GENERIC_EXECUTE (0x20000000L)
#define GENERIC_ALL (0x10000000L)
#endif
#define FILE_READ_DATA (0x0001)
#define FILE_WRITE_DATA (0x0002)
#define FILE_APPEND_DATA (0x0004)

#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004

#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5

#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_SYSTEM 0x00000004
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)

#define MOVEFILE_REPLACE_EXISTING 0x00000001
#define MOVEFILE_COPY_ALLOWED 0x00000002
#define MOVEFILE_DELAY_UNTIL_REBOOT 0x00000004
#define MOVEFILE_WRITE_THROUGH 0x00000008

#ifndef ERROR_NO_MORE_FILES
#define ERROR_NO_MORE_FILES 18L
#endif
#ifndef ERROR_DIRECTORY
#define ERROR_DIRECTORY 267L
#endif

typedef struct _WIN32_FIND_DATAW {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  WCHAR cFileName[MAX_PATH];
  WCHAR cAlternateFileName[14];
} WIN32_FIND_DATAW, *PWIN32_FIND_DATAW, *LPWIN32_FIND_DATAW;
static_assert(sizeof(WIN32_FIND_DATAW) == 592, "WIN32_FIND_DATAW must have the SDK's size");

HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                     LPOVERLAPPED lpOverlapped);
BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
                      LPOVERLAPPED lpOverlapped);
BOOL WINAPI CloseHandle(HANDLE hObject);
BOOL WINAPI DeleteFileW(LPCWSTR lpFileName);
DWORD WINAPI GetFileAttributesW(LPCWSTR lpFileName);
BOOL WINAPI SetFileAttributesW(LPCWSTR lpFileName, DWORD dwFileAttributes);
BOOL WINAPI MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, DWORD dwFlags);
BOOL WINAPI FlushFileBuffers(HANDLE hFile);
BOOL WINAPI CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes);
HANDLE WINAPI FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData);
BOOL WINAPI FindNextFileW(HANDLE hFindFile, LPWIN32_FIND_DATAW lpFindFileData);
BOOL WINAPI FindClose(HANDLE hFindFile);

#ifdef WINSIM_TRACE_CALLS
#include <winsim/trace.h>
// How a trace shows each call: the letters are explained in winsim/trace.h.
#define CreateFileW(...) WINSIM_TRACED(CreateFileW, "h:sxxpdxh")(__VA_ARGS__)
#define ReadFile(...) WINSIM_TRACED(ReadFile, "b:hpdnp")(__VA_ARGS__)
#define WriteFile(...) WINSIM_TRACED(WriteFile, "b:hpdnp")(__VA_ARGS__)
#define CloseHandle(...) WINSIM_TRACED(CloseHandle, "b:h")(__VA_ARGS__)
#define DeleteFileW(...) WINSIM_TRACED(DeleteFileW, "b:s")(__VA_ARGS__)
#define GetFileAttributesW(...) WINSIM_TRACED(GetFileAttributesW, "x:s")(__VA_ARGS__)
#define SetFileAttributesW(...) WINSIM_TRACED(SetFileAttributesW, "b:sx")(__VA_ARGS__)
#define MoveFileExW(...) WINSIM_TRACED(MoveFileExW, "b:ssx")(__VA_ARGS__)
#define FlushFileBuffers(...) WINSIM_TRACED(FlushFileBuffers, "b:h")(__VA_ARGS__)
#define CreateDirectoryW(...) WINSIM_TRACED(CreateDirectoryW, "b:sp")(__VA_ARGS__)
#define FindFirstFileW(...) WINSIM_TRACED(FindFirstFileW, "h:sp")(__VA_ARGS__)
#define FindNextFileW(...) WINSIM_TRACED(FindNextFileW, "b:hp")(__VA_ARGS__)
#define FindClose(...) WINSIM_TRACED(FindClose, "b:h")(__VA_ARGS__)
#endif
