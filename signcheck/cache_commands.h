// The console tool's cache commands. Without a file of their own they work on
// the cache file the launchers use. Only forget and clear change a cache
// file, and only while they hold the cache lock the launchers take.
#pragma once

#include "signcheck/command_line.h"
#include "signcheck/console_writer.h"

// Every record with its state now, as a table or JSON. Exit status as
// RunCacheCheck.
int RunCacheShow(const CommandLine& command, ConsoleWriter& out, ConsoleWriter& err);

// 0 when the file is readable, 1 (with the reason) when it is corrupt or
// cannot be used, 3 when it is absent.
int RunCacheCheck(const CommandLine& command, ConsoleWriter& out, ConsoleWriter& err);

// Removes the records of one path (compared as the cache does: full path,
// A to Z folded). 0 when none is left, also when there was none; 1 when the
// lock could not be had or the file could not be read or written.
int RunCacheForget(const CommandLine& command, ConsoleWriter& out, ConsoleWriter& err);

// Deletes the cache file. 0 when it is gone, 1 when the lock could not be had
// or the file could not be deleted.
int RunCacheClear(const CommandLine& command, ConsoleWriter& out, ConsoleWriter& err);
