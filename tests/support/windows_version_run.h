// Runs one test of the current test program in a copy of it that Wine reports
// as another Windows version, for code that reads the system version.
#pragma once

#include <string>
#include <vector>

// Copies this program, and the `companions` beside it (e.g. a stand-in DLL),
// into a folder of its own under a name of its own, sets Wine's
// HKCU\Software\Wine\AppDefaults\<copy>\Version to `version` ("winxp",
// "vista", "win7", "win10"), runs the copy with `testName` as its only test
// (disabled tests included, so that such a test runs only this way), and
// removes copy and key. True when exactly that test ran and passed; the
// child's output is copied to this program's standard output.
bool RunTestAsWindowsVersion(const std::wstring& testName, const std::wstring& version,
                             const std::vector<std::wstring>& companions);
