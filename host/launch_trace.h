// The trace that a launch leaves when it does not reach the application's
// entry: one line for a debugger (OutputDebugStringW) and the same line
// appended to "launcher.log" in the user's product folder, so that whoever
// supports the product can tell a missing module from a refused one, or a
// library found nowhere, after the fact. A launch that starts the
// application leaves nothing.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "image/module_load.h"
#include "platform/win.h"

struct LaunchTrace {
  // What stopped the launch, in a few words: "os gate declined", "module
  // missing", "refused", "dependency missing", "load failed", "no entry
  // function", ...
  std::wstring outcome;
  std::wstring file;
  // Filled for a refusal: the signer policy's answer about `file`.
  std::optional<TrustDecision> decision;
  // Why, in a few words (a refusal's reason, a load failure's system text).
  std::wstring detail;
  // What the pending-upgrade hand-over did, when it did not hand over.
  std::wstring handover;
};

// The trace of a host whose Load gave no module.
LaunchTrace TraceOf(const ModuleLoad& load);

// The line: UTC time, process id, launcher path, outcome, file, verdict,
// trust result (number and name), rule, and what else is known, each field
// as "name value" with paths and texts in double quotes. Whatever those hold,
// the line stays one line of its own fields: backslashes, quotes and control
// characters in them are escaped (\\, \", \r, \n, \t, \uXXXX).
std::wstring TraceLine(const LaunchTrace& trace, const SYSTEMTIME& utc, DWORD processId, const std::wstring& launcher);

// Finds the log now, for every later line of this process: the load guard
// writes its line where nothing may be looked up.
void PrepareLaunchTrace();

struct TraceField {
  std::wstring name;   // "time" for the leading time stamp
  std::wstring value;  // as it was before it was quoted
};

// The fields of a line that TraceLine wrote, in order, quoted values read
// back; empty for a line that is not one.
std::vector<TraceField> ReadTraceLine(const std::wstring& line);

// Writes the line for this process and now. The log is kept to 64 KiB (the
// older half goes when it is full), written as UTF-8 through a handle that
// does not follow links, only into a product folder that exists, and never
// as the system account. Nothing that goes wrong here changes the launch.
void WriteLaunchTrace(const LaunchTrace& trace);

// The line of an image that the load guard stops: written under the
// loader's lock, so only to a log PrepareLaunchTrace found (else only for a
// debugger).
void WriteLoadGuardStop(const std::wstring& image);

// The log's size limit.
inline constexpr size_t kLaunchLogLimit = 64 * 1024;
