// The copy of a product module from the installer's directory into a system
// directory, with a bounded retry of a destination held open for a moment.
#pragma once
#include <windows.h>

#include "../shell/install_context.h"

// Size of the caller's buffer for the destination path, terminator included.
constexpr SIZE_T DestinationPathCapacity = MAX_PATH;

// Copies InstallDir\fileName to destinationDir\fileName (an empty directory
// means the current one). destinationPath, when given, has room for
// DestinationPathCapacity characters and receives the destination path
// before anything is opened; a path that does not fit is never cut: the
// buffer gets an empty text and the copy fails. reportErrors writes the
// failures to open either file as error lines. A failed read or a short
// write fails the copy too. Returns S_OK or E_FAIL.
HRESULT CopyDriverFile(InstallContext& context, LPCWSTR destinationDir, LPCWSTR fileName, LPWSTR destinationPath,
                       bool reportErrors);

// Opens `path` for writing, emptied, retrying while it is held elsewhere:
// at most 100 attempts 50 ms apart, and none after 10 s. Returns the handle,
// or INVALID_HANDLE_VALUE with the last attempt's error as the last error.
HANDLE OpenDestinationFile(InstallContext& context, LPCWSTR path);
