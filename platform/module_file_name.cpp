#include "platform/module_file_name.h"

#include <vector>

namespace platform {

namespace {
// Extended-length paths end here.
constexpr DWORD kLongestPath = 32768;
}  // namespace

std::wstring ModuleFileName(HMODULE module) {
  // A result that fills the buffer may have been cut: ask again with more.
  for (DWORD size = MAX_PATH; size <= 2 * kLongestPath; size *= 2) {
    std::vector<wchar_t> buffer(size, L'\0');
    const DWORD length = ::GetModuleFileNameW(module, buffer.data(), size);
    if (length == 0) return {};
    if (length < size - 1) return std::wstring(buffer.data(), length);
  }
  return {};
}

}  // namespace platform
