// The system's pending file rename operations ("PendingFileRenameOperations"
// of the Session Manager key): read, and the deletions among them that can
// be done now.
#pragma once
#include <windows.h>

// The value's strings in pairs: entry 2k is the source of pair k, 2k+1 its
// target; an empty string is stored as null. Each string is a global-heap
// copy, object-namespace prefix ("\??\") included. IsFile is 1 where the
// path named an existing file (not a directory) when the list was read.
struct PendingRenameList {
  LPWSTR* Paths;  // 2 x PairCount entries
  DWORD* IsFile;  // 2 x PairCount entries
  DWORD PairCount;
};

// The current list; an empty one (null arrays, no pairs) when the value is
// missing, empty, not REG_MULTI_SZ or memory runs out. Only whole strings
// inside the bytes received are taken; an odd last string is ignored.
PendingRenameList ReadPendingRenames();

// Deletes now the sources of pending deletions (empty target) that were
// files when read; clears IsFile of each one deleted. Failures are ignored.
void DeletePendingLeftovers(PendingRenameList& list);

// Releases the strings and arrays and leaves the list empty.
void FreePendingRenameList(PendingRenameList& list);

// The path without the "\??\" prefix, when it starts with exactly that.
LPCWSTR SkipObjectNamespacePrefix(LPCWSTR path);
