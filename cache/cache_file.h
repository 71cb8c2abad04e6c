// The verification cache file: one cipher frame whose plaintext is a packed
// array of 1000-byte records. Neither function takes a lock; the store calls
// them under the cross-process cache mutex.
#pragma once

#include <string>
#include <vector>

#include "cache/cache_entry.h"

// Reads the file at `path` into `entries` (emptied first). False when the
// file is missing, cannot be opened (e.g. held by another process), is empty,
// too large (5 MiB or more) or not a valid cache file; `corrupt` is set only
// in the last case, when the caller should delete the file. A record with a
// wrong magic makes the whole file corrupt.
bool ReadCacheFile(const std::wstring& path, std::vector<CacheEntry>& entries, bool& corrupt);

// Writes the entries whose verdict is NotSigned, Valid or Expired, in list
// order, creating the file's folder when needed. False, with the file
// untouched, when there is no such entry or the file cannot be opened; false
// too after a short write.
bool WriteCacheFile(const std::wstring& path, const std::vector<CacheEntry>& entries);
