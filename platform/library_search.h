// Where the process looks for a library that is loaded by name: the imports of
// the modules it loads, the system's own loads on its behalf (a trust check
// loads helpers by name, a message box loads the theme library) and every
// delayed load. Left to the default order, that search includes the program's
// own folder, the current folder and every folder on PATH, any of which a user
// or a document's folder can fill with a library of a wanted name. Product
// files never enter by a search: they are loaded by the full path of the file
// that was checked, and a later load by name finds that image.
#pragma once

#include <string>

#include "platform/win.h"

namespace platform {

// True when the loader knows the LOAD_LIBRARY_SEARCH_* flags and
// SetDefaultDllDirectories (Windows 8, and Windows 7 with its loader update).
bool LoaderHasSearchFlags();

// Restricts every later search by name, for the whole process, to the system
// folder. Where the loader lacks the flags, only the current folder is taken
// out of the search. True when the full restriction holds.
bool RestrictLibrarySearch();

// Loads the library at the full path `path`, its imports found among the
// loaded images or in the system folder only (where the loader lacks the
// flags, in the classic search order). Null when it cannot be loaded, with
// the loader's last error.
HMODULE LoadLibraryByPath(const std::wstring& path);

}  // namespace platform
