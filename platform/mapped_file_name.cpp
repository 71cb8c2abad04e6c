#include "platform/mapped_file_name.h"

#include <optional>
#include <vector>

#include "platform/get_proc.h"
#include "platform/system_library_cache.h"

#include <psapi.h>

namespace platform {

namespace {

using GetMappedFileNameFn = decltype(&::GetMappedFileNameW);

std::optional<std::wstring>& NameForTesting() {
  static std::optional<std::wstring> name;
  return name;
}

// Kernel32 has it from Windows 7 on; older systems have it in Psapi only.
GetMappedFileNameFn BindGetMappedFileName() {
  if (auto inKernel32 = GetProc<GetMappedFileNameFn>(::GetModuleHandleW(L"kernel32.dll"), "K32GetMappedFileNameW")) {
    return inKernel32;
  }
  return GetProc<GetMappedFileNameFn>(SystemLibraryCache::Instance().GetLibrary(L"Psapi.dll"), "GetMappedFileNameW");
}

GetMappedFileNameFn MappedFileNameFunction() {
  static const GetMappedFileNameFn function = BindGetMappedFileName();
  return function;
}

}  // namespace

std::wstring MappedFileName(HMODULE module) {
  if (NameForTesting()) return *NameForTesting();
  const GetMappedFileNameFn getMappedFileName = MappedFileNameFunction();
  if (getMappedFileName == nullptr || module == nullptr) return {};
  // The answer is cut to the buffer without saying so: a result that fills
  // it is asked again with more room.
  for (DWORD size = MAX_PATH; size <= 65536; size *= 2) {
    std::vector<wchar_t> buffer(size, L'\0');
    const DWORD length = getMappedFileName(::GetCurrentProcess(), module, buffer.data(), size);
    if (length == 0) return {};
    if (length < size - 1) return std::wstring(buffer.data(), length);
  }
  return {};
}

bool MappedFileNameAvailable() { return NameForTesting().has_value() || MappedFileNameFunction() != nullptr; }

void SetMappedFileNameForTesting(const wchar_t* name) {
  if (name == nullptr) {
    NameForTesting().reset();
  } else {
    NameForTesting() = name;
  }
}

}  // namespace platform
