// advapi32: the service control manager.
#pragma once
#include "windef.h"
