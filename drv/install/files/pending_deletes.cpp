#include "pending_deletes.h"

#include "../shell/run_log.h"
#include "../shell/string_list.h"

void DeleteListedFiles(InstallContext& context) {
  LogLine(context, TEXT("DeleteFile-try"));
  StringListNode* previous = nullptr;
  StringListNode* node = context.PendingDeletes;
  while (node != nullptr) {
    StringListNode* next = node->Next;
    // Only a file that is really gone leaves the list; a missing directory
    // (ERROR_PATH_NOT_FOUND) may be a path that is wrong only for now.
    if (DeleteFileW(node->Text) || GetLastError() == ERROR_FILE_NOT_FOUND) {
      if (previous != nullptr) {
        previous->Next = next;
      } else {
        context.PendingDeletes = next;
      }
      node->Next = nullptr;
      StringListFree(node);
    } else {
      previous = node;
    }
    node = next;
  }
}

DWORD ScheduleDeferredDeletes(InstallContext& context) {
  DWORD accepted = 0;
  for (StringListNode* node = context.PendingDeletes; node != nullptr; node = node->Next) {
    if (MoveFileExW(node->Text, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) ++accepted;
  }
  // A refused request is dropped too: nothing later could do better.
  StringListFree(context.PendingDeletes);
  context.PendingDeletes = nullptr;
  return accepted;
}
