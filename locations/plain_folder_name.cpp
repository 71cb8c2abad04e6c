#include "locations/plain_folder_name.h"

#include <string_view>

namespace {

bool IsForbiddenInName(wchar_t c) {
  return c < 0x20 || std::wstring_view(L"\\/:*?\"<>|").find(c) != std::wstring_view::npos;
}

}  // namespace

bool IsPlainFolderName(const std::wstring& name) {
  if (name.empty() || name.back() == L'.' || name.back() == L' ') return false;
  for (wchar_t c : name) {
    if (IsForbiddenInName(c)) return false;
  }
  return true;
}
