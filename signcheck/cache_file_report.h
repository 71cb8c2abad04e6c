// What the console tool finds in a cache file, with a reason a person can act
// on when the file cannot be used.
#pragma once

#include <string>
#include <vector>

#include "cache/cache_entry.h"

enum class CacheFileStatus { Readable, Corrupt, Unusable, Absent };

struct CacheFileReport {
  CacheFileStatus status = CacheFileStatus::Absent;
  std::vector<CacheEntry> entries;  // only when Readable
  std::wstring reason;              // empty when Readable
};

// Reads the cache file at `path` as ReadCacheFile does, taking no lock (the
// caller holds the cache lock when it needs a settled file).
CacheFileReport InspectCacheFile(const std::wstring& path);

// "readable", "corrupt", "unusable" or "absent".
const wchar_t* CacheFileStatusName(CacheFileStatus status);
