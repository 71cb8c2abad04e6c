#include "platform/unique_reg_key.h"

#include "platform/get_proc.h"
#include "platform/system_library_cache.h"

namespace platform {

void RegKeyTraits::Close(HKEY key) {
  HMODULE advapi = SystemLibraryCache::Instance().GetLibrary(L"Advapi32.dll");
  if (auto regCloseKey = GetProc<decltype(&::RegCloseKey)>(advapi, "RegCloseKey")) regCloseKey(key);
}

}  // namespace platform
