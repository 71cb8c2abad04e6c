// Running one test of a test program in a process of its own.
#pragma once

#include <string>

#include "platform/win.h"

// Runs the test `testName` ("Suite.Name") of the test program `program` in a
// new process, disabled tests included (so that a test kept for such runs can
// be named), with `extraArguments` appended; copies what it printed to this
// program's standard output. Its exit code, or STILL_ACTIVE when it could not
// be started or was still running after kOneTestTimeoutMilliseconds (it is
// then ended).
inline constexpr DWORD kOneTestTimeoutMilliseconds = 120000;
DWORD RunOneTest(const std::wstring& program, const std::wstring& testName,
                 const std::wstring& extraArguments = L"");
