// The console tool's check command: the launchers' decision on each file,
// with the verdict, the signer, the rule that decided and whether the cache
// answered.
#pragma once

#include "launcher/signcheck/command_line.h"
#include "launcher/signcheck/console_writer.h"

// 0 when every file is trusted, 1 when any is refused, 2 when a file or the
// reference launcher is missing (then nothing is checked). The verdicts go
// into the launchers' cache file as a launcher would record them.
int RunCheck(const CommandLine& command, ConsoleWriter& out, ConsoleWriter& err);
