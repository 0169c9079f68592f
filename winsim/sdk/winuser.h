// user32: windows, dialogs, keyboard state, the process's window station.
#pragma once
#include "windef.h"

typedef INT_PTR(CALLBACK* DLGPROC)(HWND, UINT, WPARAM, LPARAM);

#define WM_CLOSE 0x0010
#define WM_GETTEXT 0x000D
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_SYSCOMMAND 0x0112
#define WM_USER 0x0400

#define IDOK 1
#define IDCANCEL 2
#define BN_CLICKED 0
#define VK_SHIFT 0x10
#define SC_CLOSE 0xF060
#define SW_SHOW 5

#define UOI_FLAGS 1
#define UOI_NAME 2
#define WSF_VISIBLE 0x0001L

typedef struct tagUSEROBJECTFLAGS {
  BOOL fInherit;
  BOOL fReserved;
  DWORD dwFlags;
} USEROBJECTFLAGS, *PUSEROBJECTFLAGS;

#define MAKEWPARAM(l, h) \
  ((WPARAM)(DWORD)(((WORD)(((DWORD_PTR)(l)) & 0xffff)) | (((DWORD)((WORD)(((DWORD_PTR)(h)) & 0xffff))) << 16)))

BOOL WINAPI IsWindow(HWND hWnd);
HWND WINAPI FindWindowW(LPCWSTR lpClassName, LPCWSTR lpWindowName);
BOOL WINAPI PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
DWORD WINAPI GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId);
SHORT WINAPI GetAsyncKeyState(int vKey);
INT_PTR WINAPI DialogBoxParamW(HINSTANCE hInstance, LPCWSTR lpTemplateName, HWND hWndParent, DLGPROC lpDialogFunc,
                               LPARAM dwInitParam);
BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult);
BOOL WINAPI SetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPCWSTR lpString);
BOOL WINAPI SetWindowTextW(HWND hWnd, LPCWSTR lpString);
HWINSTA WINAPI GetProcessWindowStation(void);
BOOL WINAPI GetUserObjectInformationW(HANDLE hObj, int nIndex, PVOID pvInfo, DWORD nLength, LPDWORD lpnLengthNeeded);

#ifdef WINSIM_TRACE_CALLS
#include <winsim/trace.h>
// How a trace shows each call: the letters are explained in winsim/trace.h.
#define IsWindow(...) WINSIM_TRACED(IsWindow, "b:h")(__VA_ARGS__)
#define FindWindowW(...) WINSIM_TRACED(FindWindowW, "h:ss")(__VA_ARGS__)
#define PostMessageW(...) WINSIM_TRACED(PostMessageW, "b:hxxx")(__VA_ARGS__)
#define GetWindowThreadProcessId(...) WINSIM_TRACED(GetWindowThreadProcessId, "c:hn")(__VA_ARGS__)
#define GetAsyncKeyState(...) WINSIM_TRACED(GetAsyncKeyState, "x:x")(__VA_ARGS__)
#define DialogBoxParamW(...) WINSIM_TRACED(DialogBoxParamW, "d:hshpp")(__VA_ARGS__)
#define EndDialog(...) WINSIM_TRACED(EndDialog, "b:hd")(__VA_ARGS__)
#define SetDlgItemTextW(...) WINSIM_TRACED(SetDlgItemTextW, "b:hds")(__VA_ARGS__)
#define SetWindowTextW(...) WINSIM_TRACED(SetWindowTextW, "b:hs")(__VA_ARGS__)
#define GetProcessWindowStation(...) WINSIM_TRACED(GetProcessWindowStation, "h:")(__VA_ARGS__)
#define GetUserObjectInformationW(...) WINSIM_TRACED(GetUserObjectInformationW, "b:hdpdn")(__VA_ARGS__)
#endif
