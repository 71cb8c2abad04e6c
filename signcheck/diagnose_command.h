// The diagnose command: a launch replayed, and how it would end.
#pragma once

#include "signcheck/command_line.h"
#include "signcheck/console_writer.h"

// Replays the launch of the product's launcher without loading, changing or
// showing anything, and prints what it would decide. Returns the exit
// status: 0 it would start, 1 it would not.
int RunDiagnose(const CommandLine& command, ConsoleWriter& out, ConsoleWriter& err);
