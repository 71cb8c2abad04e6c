#include "platform/library_search.h"

#include "platform/get_proc.h"

namespace platform {

namespace {

HMODULE Kernel32() { return ::GetModuleHandleW(L"kernel32.dll"); }

}  // namespace

bool LoaderHasSearchFlags() {
  // The loader update that brought the flags to Windows 7 also brought
  // AddDllDirectory: its presence is the documented sign.
  static const bool supported = GetProc<decltype(&::AddDllDirectory)>(Kernel32(), "AddDllDirectory") != nullptr;
  return supported;
}

bool RestrictLibrarySearch() {
  auto setDefault = GetProc<decltype(&::SetDefaultDllDirectories)>(Kernel32(), "SetDefaultDllDirectories");
  if (setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_USER_DIRS)) return true;
  // An empty string takes the current folder out of the search order; the
  // program's folder and PATH stay, which only the flags can change.
  ::SetDllDirectoryW(L"");
  return false;
}

bool AddLibraryFolder(const std::wstring& folder) {
  if (folder.empty() || !LoaderHasSearchFlags()) return false;
  auto addDirectory = GetProc<decltype(&::AddDllDirectory)>(Kernel32(), "AddDllDirectory");
  // Never removed: the folder's libraries may be loaded for as long as the
  // application runs.
  return addDirectory != nullptr && addDirectory(folder.c_str()) != nullptr;
}

HMODULE LoadLibraryWithOwnFolder(const std::wstring& path) {
  if (LoaderHasSearchFlags()) {
    return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  }
  return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace platform
