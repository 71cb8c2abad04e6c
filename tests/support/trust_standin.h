// Drives the stand-in wintrust.dll (wintrust_standin.cpp) that a test program
// built beside it loads instead of the system's. Settings
// (trust_standin_settings.h) hold for the rest of the test's own process.
#pragma once

#include <string>

#include "platform/win.h"
#include "tests/support/trust_standin_settings.h"

namespace trust_standin {

void Set(const wchar_t* setting, const std::wstring& value = L"1");
void Clear(const wchar_t* setting);

// For the result settings: `result` as the stand-in reads it.
void SetResult(const wchar_t* setting, LONG result);

// The stand-in's calls so far, one line each, each ending in a line break.
std::wstring Log();
void ClearLog();

}  // namespace trust_standin
