#include "cache/cache_file_lock.h"

#include "cache/cache_constants.h"
#include "locations/path_text.h"
#include "platform/ascii_fold.h"

std::wstring CacheMutexName(const std::wstring& filePath) {
  const std::ptrdiff_t separator = PathText::FindLastOf(filePath, L"\\/");
  std::wstring name = filePath;
  if (separator >= 0 && static_cast<size_t>(separator) + 1 < filePath.size()) {
    name = filePath.substr(static_cast<size_t>(separator) + 1);
  }
  return cache_constants::kMutexNamePrefix + platform::FoldAscii(name);
}

CacheFileLock::CacheFileLock(const std::wstring& filePath) {
  if (mutex_.Create(CacheMutexName(filePath))) lock_.Acquire(kWaitMilliseconds);
}
