// Loads a library of the operating system from the system folder and nowhere
// else. The default search looks in the program's own folder first, where
// anyone who can copy the program can put a library of the same name.
#pragma once

#include <string>

#include "platform/win.h"

namespace platform {

// The library `name` (a bare file name such as "wintrust.dll") from the system
// folder, its own imports resolved there too. Null when the name is empty or
// contains a path, or the library cannot be loaded there.
HMODULE LoadSystemLibrary(const wchar_t* name);

// The system folder without a trailing separator, asked once per process;
// empty when the system cannot name it.
const std::wstring& SystemDirectory();

}  // namespace platform
