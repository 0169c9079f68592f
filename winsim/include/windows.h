// The Win32 subset the installer uses, implemented by winsim on Linux.
#pragma once
#include "windef.h"
#include "winerror.h"
#include "winbase.h"
#include "winuser.h"
#include "winver.h"
