// kernel32: files.
#pragma once
#include "windef.h"
