// How a cached verdict compares with its file now, as the cache itself
// judges it: the verdict still answers only while the file's size, last-write
// time and creation time are the recorded ones.
#pragma once

#include <cstdint>
#include <string>

#include "cache/cache_entry.h"

enum class RecordState { Fresh, Changed, Missing };

// Missing when the path names nothing or a folder (or cannot be examined).
RecordState CurrentState(const CacheEntry& entry);

// "fresh", "changed" or "missing".
const wchar_t* RecordStateName(RecordState state);

// A FILETIME value as ISO 8601 in UTC to the second, e.g.
// "2026-01-31T23:59:07Z"; empty when it cannot be converted.
std::wstring IsoUtcTime(uint64_t fileTime);
