// The file a loaded module was mapped from, read whole however long its path.
#pragma once

#include <string>

#include "platform/win.h"

namespace platform {

// The full path of `module` (null: the process's executable). Empty when the
// system cannot name it; never a path cut at some buffer size, which would
// name another file or none.
std::wstring ModuleFileName(HMODULE module);

}  // namespace platform
