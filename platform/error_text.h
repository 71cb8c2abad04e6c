// One-line text for Windows error codes.
#pragma once

#include <string>

#include "platform/win.h"

namespace platform {

// The system's message for the low 16 bits of `code`, without the trailing
// line break and final full stop; "Unknown error" when there is none.
std::wstring GetSystemErrorText(DWORD code);

// GetSystemErrorText(GetLastError()), or an empty text when the last error
// is 0.
std::wstring GetLastErrorText();

}  // namespace platform
