// user32: windows, modal dialogs, the keyboard state and window stations;
// one section each.
#include <windows.h>

#include <cstring>
#include <vector>

#include "api.h"

using namespace winsim;

// ============================================================================
// user32: windows, modal dialogs and the keyboard state.

namespace {

bool Ended(HWND hwnd) {
  const ModalLoop* loop = M().desktop.FindModal(hwnd);
  return loop == nullptr || loop->ended;
}

// What the dialog manager sends the procedure for a user action.
void Deliver(HWND hwnd, DLGPROC proc, DialogAction action) {
  switch (action) {
    case DialogAction::CloseButton:
    case DialogAction::Enter: proc(hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); break;
    case DialogAction::Escape: proc(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0); break;
    case DialogAction::CaptionClose:
      // DefDlgProc turns an unhandled WM_CLOSE into IDCANCEL.
      if (!proc(hwnd, WM_CLOSE, 0, 0) && !Ended(hwnd)) {
        proc(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
      }
      break;
  }
}

}  // namespace

BOOL WINAPI IsWindow(HWND hWnd) { return M().desktop.Find(hWnd) != nullptr ? TRUE : FALSE; }

// Top-level windows of every process, class and title compared without
// regard to case; NULL matches any. A class given as an atom names no class
// the model knows. A miss returns NULL with ERROR_FILE_NOT_FOUND.
HWND WINAPI FindWindowW(LPCWSTR lpClassName, LPCWSTR lpWindowName) {
  WINSIM_FAULT(nullptr);
  HWND found = nullptr;
  if (reinterpret_cast<ULONG_PTR>(lpClassName) == 0 || reinterpret_cast<ULONG_PTR>(lpClassName) > 0xFFFF) {
    const std::u16string className = FromWide(lpClassName);
    const std::u16string title = FromWide(lpWindowName);
    found = M().desktop.FindTopLevel(lpClassName != nullptr ? &className : nullptr,
                                     lpWindowName != nullptr ? &title : nullptr);
  }
  if (found == nullptr) Fail(ERROR_FILE_NOT_FOUND);
  return found;
}

// Posting returns at once; the program acts on the message later on the
// virtual clock. A simulated program quits on its quit message (both
// parameters 0, as the tray program insists) and closes its window on
// WM_CLOSE or SC_CLOSE, each after its profile's delay, unless it is deaf or
// never closes. A NULL window posts to the caller's own queue.
BOOL WINAPI PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  WINSIM_FAULT(FALSE);
  Machine& machine = M();
  if (hWnd == nullptr) return TRUE;
  const Window* window = machine.desktop.Find(hWnd);
  if (window == nullptr) {
    Fail(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  const Process* process = machine.FindProcess(window->process);
  if (process == nullptr || process->kind != ProgramKind::Program || process->deaf) return TRUE;
  const bool close = Msg == WM_CLOSE || (Msg == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE);
  Event event;
  event.at = machine.clock.now + process->quitDelayMs;
  if (process->quitMessage != 0 && Msg == process->quitMessage && wParam == 0 && lParam == 0) {
    event.kind = EventKind::ProcessQuits;
    event.object = process->id;
    event.value = 0;
  } else if (close && !process->neverCloses) {
    event.kind = EventKind::WindowCloses;
    event.object = HandleValue(hWnd);
  } else {
    return TRUE;
  }
  machine.Schedule(event);
  return TRUE;
}

// The id of the window's thread, and of its process through the pointer.
DWORD WINAPI GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId) {
  WINSIM_FAULT(0);
  const Window* window = M().desktop.Find(hWnd);
  if (window == nullptr) {
    Fail(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (lpdwProcessId != nullptr) *lpdwProcessId = window->process;
  return MainThreadId(window->process);
}

// The high bit is set while the key is down.
SHORT WINAPI GetAsyncKeyState(int vKey) {
  return (vKey == VK_SHIFT && M().desktop.shiftDown) ? static_cast<SHORT>(0x8000) : 0;
}

// Creates the dialog, sends WM_INITDIALOG with the creation parameter, then
// plays the user's scripted actions until the procedure calls EndDialog.
// Fails with -1 when the window cannot be created.
INT_PTR WINAPI DialogBoxParamW(HINSTANCE hInstance, LPCWSTR lpTemplateName, HWND hWndParent, DLGPROC lpDialogFunc,
                               LPARAM dwInitParam) {
  WINSIM_FAULT(-1);
  Desktop& desktop = M().desktop;
  const auto id = reinterpret_cast<ULONG_PTR>(lpTemplateName);
  auto resource = desktop.dialogResources.find(static_cast<int>(id));
  if (hInstance != ProgramInstance() || id > 0xFFFF || resource == desktop.dialogResources.end()) {
    Fail(ERROR_RESOURCE_NAME_NOT_FOUND);
    return -1;
  }
  if (!desktop.hasDisplay || (hWndParent != nullptr && desktop.Find(hWndParent) == nullptr) ||
      lpDialogFunc == nullptr) {
    Fail(ERROR_INVALID_WINDOW_HANDLE);
    return -1;
  }
  HWND hwnd = desktop.CreateWindow(u"#32770", u"", hWndParent, M().caller);
  for (int item : resource->second) desktop.Find(hwnd)->items[item] = item == IDOK ? u"Close" : u"";

  desktop.modal.push_back(ModalLoop{hwnd});
  DialogRecord record;
  record.resource = static_cast<int>(id);
  record.owner = hWndParent;
  lpDialogFunc(hwnd, WM_INITDIALOG, 0, dwInitParam);
  const Window& window = *desktop.Find(hwnd);
  record.title = window.title;
  record.items = window.items;
  std::size_t played = 0;
  while (!Ended(hwnd)) {
    if (played++ > 16) {
      // A dialog that no action closes: the user ends the program.
      EndProcess(M(), M().caller, 1);
      LeaveProcess(1);
    }
    DialogAction action = DialogAction::CloseButton;
    if (!desktop.script.empty()) {
      action = desktop.script.front();
      desktop.script.erase(desktop.script.begin());
    }
    record.actions.push_back(action);
    Deliver(hwnd, lpDialogFunc, action);
  }
  const INT_PTR result = desktop.FindModal(hwnd)->result;
  desktop.modal.pop_back();
  desktop.windows.erase(hwnd);
  record.result = result;
  desktop.dialogs.push_back(record);
  return result;
}

BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult) {
  ModalLoop* dialog = M().desktop.FindModal(hDlg);
  if (dialog == nullptr) {
    Fail(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  dialog->ended = true;
  dialog->result = nResult;
  return TRUE;
}

BOOL WINAPI SetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPCWSTR lpString) {
  WINSIM_FAULT(FALSE);
  Window* window = M().desktop.Find(hDlg);
  if (window == nullptr) {
    Fail(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  auto item = window->items.find(nIDDlgItem);
  if (item == window->items.end()) {
    Fail(ERROR_CONTROL_ID_NOT_FOUND);
    return FALSE;
  }
  item->second = FromWide(lpString);
  return TRUE;
}

BOOL WINAPI SetWindowTextW(HWND hWnd, LPCWSTR lpString) {
  WINSIM_FAULT(FALSE);
  Window* window = M().desktop.Find(hWnd);
  if (window == nullptr) {
    Fail(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  window->title = FromWide(lpString);
  return TRUE;
}

// ============================================================================
// user32: the process's window station, and what GetUserObjectInformationW
// tells of it.

static_assert(sizeof(USEROBJECTFLAGS) == 12, "USEROBJECTFLAGS must have the SDK's size");

HWINSTA WINAPI GetProcessWindowStation() {
  WINSIM_FAULT(nullptr);
  return reinterpret_cast<HWINSTA>(kProcessStationHandle);
}

// The process's window station tells its flags (WSF_VISIBLE when someone can
// see it) and its name. Windows probes the buffer first (ERROR_NOACCESS),
// then writes the size needed (0 for another handle, ERROR_INVALID_HANDLE, or
// another index, ERROR_INVALID_PARAMETER); a buffer smaller than that fails
// with ERROR_INSUFFICIENT_BUFFER and gets nothing.
BOOL WINAPI GetUserObjectInformationW(HANDLE hObj, int nIndex, PVOID pvInfo, DWORD nLength, LPDWORD lpnLengthNeeded) {
  WINSIM_FAULT(FALSE);
  if (pvInfo == nullptr && nLength != 0) {
    Fail(ERROR_NOACCESS);
    return FALSE;
  }
  if (lpnLengthNeeded != nullptr) *lpnLengthNeeded = 0;
  if (HandleValue(hObj) != kProcessStationHandle) {
    Fail(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  const WindowStation& station = M().desktop.station;
  std::vector<BYTE> info;
  if (nIndex == UOI_FLAGS) {
    USEROBJECTFLAGS flags{};
    flags.dwFlags = station.visible ? WSF_VISIBLE : 0;
    const auto* bytes = reinterpret_cast<const BYTE*>(&flags);
    info.assign(bytes, bytes + sizeof(flags));
  } else if (nIndex == UOI_NAME) {
    const auto* bytes = reinterpret_cast<const BYTE*>(station.name.c_str());
    info.assign(bytes, bytes + (station.name.size() + 1) * sizeof(char16_t));
  } else {
    Fail(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const auto size = static_cast<DWORD>(info.size());
  if (lpnLengthNeeded != nullptr) *lpnLengthNeeded = size;
  if (nLength < size || pvInfo == nullptr) {  // a null buffer has no length
    Fail(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(pvInfo, info.data(), size);
  return TRUE;
}
