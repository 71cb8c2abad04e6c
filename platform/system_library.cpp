#include "platform/system_library.h"

#include <cwchar>
#include <string>
#include <vector>

#include "platform/library_search.h"

namespace platform {

namespace {

std::wstring QuerySystemDirectory() {
  const UINT needed = ::GetSystemDirectoryW(nullptr, 0);
  if (needed == 0) return {};
  std::vector<wchar_t> buffer(needed, L'\0');
  const UINT length = ::GetSystemDirectoryW(buffer.data(), needed);
  if (length == 0 || length >= needed) return {};
  return std::wstring(buffer.data(), length);
}

}  // namespace

const std::wstring& SystemDirectory() {
  static const std::wstring folder = QuerySystemDirectory();
  return folder;
}

HMODULE LoadSystemLibrary(const wchar_t* name) {
  if (name == nullptr || *name == L'\0' || std::wcspbrk(name, L"\\/:") != nullptr) return nullptr;
  if (LoaderHasSearchFlags()) return ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  const std::wstring& folder = SystemDirectory();
  if (folder.empty()) return nullptr;
  // With a full path and the altered search order, the library's own imports
  // are looked for beside it, in the system folder, before the program's.
  const std::wstring path = folder + L"\\" + name;
  return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace platform
