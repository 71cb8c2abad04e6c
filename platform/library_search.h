// Where the process looks for a library that is loaded by name: the imports of
// the modules it loads, the system's own loads on its behalf (a trust check
// loads helpers by name, a message box loads the theme library) and every
// delayed load. Left to the default order, that search includes the program's
// own folder, the current folder and every folder on PATH, any of which a user
// or a document's folder can fill with a library of a wanted name.
#pragma once

#include <string>

#include "platform/win.h"

namespace platform {

// True when the loader knows the LOAD_LIBRARY_SEARCH_* flags and
// AddDllDirectory (Windows 8, and Windows 7 with its loader update).
bool LoaderHasSearchFlags();

// Restricts every later search by name, for the whole process, to the system
// folder and the folders given to AddLibraryFolder. Where the loader lacks the
// flags, only the current folder is taken out of the search. True when the
// full restriction holds.
bool RestrictLibrarySearch();

// Adds `folder` to the folders that searches by name look in. False where the
// loader cannot, or the folder cannot be added.
bool AddLibraryFolder(const std::wstring& folder);

// Loads the library at the full path `path` with its own folder searched
// first for its dependencies: its folder and the system folder only where the
// loader knows the flags, else the classic altered search order. Null when it
// cannot be loaded, with the loader's last error.
HMODULE LoadLibraryWithOwnFolder(const std::wstring& path);

}  // namespace platform
