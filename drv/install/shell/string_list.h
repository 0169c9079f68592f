// StringList: distinct owned wide strings, newest first. Nodes and strings
// are global-heap blocks.
#pragma once
#include <windows.h>

struct StringListNode {
  LPWSTR Text;
  StringListNode* Next;
};

typedef StringListNode* StringList;

// A new zero-filled global-heap copy; null for a null or empty text.
LPWSTR DuplicateString(LPCWSTR text);

// Adds a copy at the front unless an equal string (exact, case-sensitive) is
// already listed. A null or empty text is not added.
void StringListAdd(StringList& head, LPCWSTR text);

// Releases the node, its string and every node after it.
void StringListFree(StringListNode* node);
