#pragma once

#include "exit_codes.h"

// A run that runs out of memory exits as one that wrote error lines, so a
// setup program treats it as the failure it is.
constexpr unsigned ExitCodeOutOfMemory = ExitErrorsLogged;

// Ends the process when a text buffer or list cannot grow: the run cannot
// keep its log or its list of files to delete, so it stops rather than go on
// with a wrong picture.
[[noreturn]] void EndRunOutOfMemory();
