#include "string_list.h"

#include <cstring>

#include "out_of_memory.h"
#include "wide_text.h"

LPWSTR DuplicateString(LPCWSTR text) {
  const SIZE_T length = WideLength(text);
  if (length == 0) return nullptr;
  auto* copy = static_cast<LPWSTR>(GlobalAlloc(GPTR, (length + 1) * sizeof(WCHAR)));
  if (copy == nullptr) EndRunOutOfMemory();
  std::memcpy(copy, text, (length + 1) * sizeof(WCHAR));
  return copy;
}

void StringListAdd(StringList& head, LPCWSTR text) {
  if (WideLength(text) == 0) return;
  for (StringListNode* node = head; node != nullptr; node = node->Next) {
    if (WideEqual(node->Text, text)) return;
  }
  auto* node = static_cast<StringListNode*>(GlobalAlloc(GPTR, sizeof(StringListNode)));
  if (node == nullptr) EndRunOutOfMemory();
  node->Text = DuplicateString(text);
  node->Next = head;
  head = node;
}

void StringListFree(StringListNode* node) {
  // Iterative, so a long list cannot exhaust the stack.
  while (node != nullptr) {
    StringListNode* next = node->Next;
    if (node->Text != nullptr) GlobalFree(node->Text);
    GlobalFree(node);
    node = next;
  }
}
