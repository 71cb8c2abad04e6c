// Starting and watching other test programs, for tests that need a second
// process (share modes, named objects, several cache writers at once).
#pragma once

#include <string>

#include "platform/unique_handle.h"

// The full path of a program built next to the running test program.
std::wstring SiblingProgram(const std::wstring& fileName);

// Starts `program` with `arguments` (already quoted as needed); an invalid
// handle when it could not be started.
platform::UniqueKernelHandle StartProcess(const std::wstring& program, const std::wstring& arguments);

// The exit code, or STILL_ACTIVE when the process did not end in time.
DWORD WaitForExit(const platform::UniqueKernelHandle& process, DWORD milliseconds);

// Polls until `path` exists; false after `milliseconds`.
bool WaitForFile(const std::wstring& path, DWORD milliseconds);

// `text` in double quotes, for a command line.
std::wstring Quoted(const std::wstring& text);
