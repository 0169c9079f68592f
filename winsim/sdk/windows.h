// The Win32 subset the installer uses, implemented by winsim on Linux.
#pragma once
#include "windef.h"
#include "winerror.h"
#include "winbase.h"
#include "fileapi.h"
#include "winuser.h"
#include "winreg.h"
#include "winsvc.h"
#include "winver.h"
