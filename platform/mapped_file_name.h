// The name under which the system knows the file that a loaded module is
// mapped from. Unlike the loader's own record of the path (GetModuleFileNameW),
// which never changes, on Windows this name follows the file when it is
// renamed, so a module's file can be told apart from another file put at its
// old path.
#pragma once

#include <string>

#include "platform/win.h"

namespace platform {

// The mapped file's name in the system's device form: on Windows the volume's
// device and the path on it ("\Device\HarddiskVolume2\dir\file.dll"); Wine
// answers with the DOS device form ("\??\Z:\dir\file.dll") and keeps the name
// the file had when it was mapped. Empty when the system cannot say.
std::wstring MappedFileName(HMODULE module);

// Whether the system has a function that names mapped files (Windows 7's
// kernel32 and Psapi's on older systems; a name injected for testing counts).
// Where it has, an empty MappedFileName is a failure to say, not a system
// that cannot.
bool MappedFileNameAvailable();

// From now on MappedFileName answers `name` for every module (an empty one
// too), as a system whose name follows renames would after one; null gives
// back the system's own answer.
void SetMappedFileNameForTesting(const wchar_t* name);

}  // namespace platform
