// Library names as the loader reads them. An import table, a forwarder or a
// LoadLibrary call may spell one library in several ways ("helper",
// "HELPER.DLL", "helper.dll. "); a check that reads one spelling while the
// loader maps another checks the wrong file.
#pragma once

#include <string>
#include <vector>

namespace library_name {

// The file name the loader maps for `name`: ".dll" appended when the name
// has no dot at all, then trailing dots and spaces dropped (as every file
// open drops them). Empty when nothing is left.
std::wstring LoaderFileName(const std::wstring& name);

// The key two names are compared by: the loader's file name, A to Z folded.
std::wstring Key(const std::wstring& name);

// The libraries a forwarder string ("library.Function", "library.#7") may
// lead the loader to, as file names. Loaders split it at its last dot, older
// ones at its first; both are given where they differ.
std::vector<std::wstring> ForwarderLibraries(const std::string& forwarder);

// API-set names (api-ms-*, ext-ms-*): the system resolves them through its
// schema, or, where it has no entry, looks for a file of that name.
bool IsApiSetName(const std::wstring& name);

}  // namespace library_name
