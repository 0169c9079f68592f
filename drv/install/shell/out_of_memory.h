#pragma once

// Exit code of a run that ran out of memory: the same as a run that wrote
// error lines, so a setup program treats it as the failure it is.
constexpr unsigned ExitCodeOutOfMemory = 100;

// Ends the process when a text buffer or list cannot grow: the run cannot
// keep its log or its list of files to delete, so it stops rather than go on
// with a wrong picture.
[[noreturn]] void EndRunOutOfMemory();
