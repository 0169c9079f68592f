// advapi32: the registry.
#pragma once
#include "windef.h"
