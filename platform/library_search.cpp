#include "platform/library_search.h"

#include "platform/get_proc.h"

namespace platform {

namespace {

HMODULE Kernel32() { return ::GetModuleHandleW(L"kernel32.dll"); }

}  // namespace

bool LoaderHasSearchFlags() {
  // The loader update that brought the flags to Windows 7 also brought
  // SetDefaultDllDirectories: its presence is the documented sign.
  static const bool supported =
      GetProc<decltype(&::SetDefaultDllDirectories)>(Kernel32(), "SetDefaultDllDirectories") != nullptr;
  return supported;
}

bool RestrictLibrarySearch() {
  auto setDefault = GetProc<decltype(&::SetDefaultDllDirectories)>(Kernel32(), "SetDefaultDllDirectories");
  // No USER_DIRS: no folder a user can write is ever added to the search.
  if (setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) return true;
  // An empty string takes the current folder out of the search order; the
  // program's folder and PATH stay, which only the flags can change.
  ::SetDllDirectoryW(L"");
  return false;
}

HMODULE LoadLibraryByPath(const std::wstring& path) {
  // Explicit, so that the load stays confined to the system folder even if
  // something in the process changed the default meanwhile.
  const DWORD flags = LoaderHasSearchFlags() ? LOAD_LIBRARY_SEARCH_SYSTEM32 : 0;
  return ::LoadLibraryExW(path.c_str(), nullptr, flags);
}

}  // namespace platform
