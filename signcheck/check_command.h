// The console tool's check command: the launchers' decision on each file,
// with the verdict, the signer, the rule that decided and whether the cache
// answered, and why: the trust provider's result, where the signature is,
// the signing chain and timestamp, and the file's digest, size and version.
#pragma once

#include "signcheck/command_line.h"
#include "signcheck/console_writer.h"

// Checks every file named, and the .dll and .exe files of every folder
// named; a missing one is reported and the rest are still checked. 0 when
// every file is trusted, 1 when any is refused or missing (or the --launcher
// file is). The verdicts go into the launchers' cache file as a launcher
// would record them, except with --fresh, which neither reads nor writes it.
int RunCheck(const CommandLine& command, ConsoleWriter& out, ConsoleWriter& err);
