// The 1000-byte record of the cache file. Offsets and sizes are part of the
// stored format: every launcher process of the family reads what the others
// wrote.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cache/cache_entry.h"

namespace cache_file_record {

inline constexpr size_t kMagicOffset = 0;
inline constexpr size_t kPathOffset = 4;
inline constexpr size_t kPathUnits = 320;
inline constexpr size_t kSignerOffset = 644;
inline constexpr size_t kSignerUnits = 128;
inline constexpr size_t kDigestOffset = 900;
inline constexpr size_t kDigestUnits = 36;
inline constexpr size_t kSizeOffset = 972;
inline constexpr size_t kLastWriteTimeOffset = 980;
inline constexpr size_t kCreationTimeOffset = 988;
inline constexpr size_t kVerdictOffset = 996;
inline constexpr size_t kSize = 1000;

static_assert(kPathOffset + 2 * kPathUnits == kSignerOffset);
static_assert(kSignerOffset + 2 * kSignerUnits == kDigestOffset);
static_assert(kDigestOffset + 2 * kDigestUnits == kSizeOffset);
static_assert(kVerdictOffset + 4 == kSize);

// Writes `entry` into the 1000 bytes at `record` (which must be zeroed).
// A path or signer too long for its field is cut (a path to 318 characters,
// a signer to 126), which is why the file writer never hands such an entry
// over; a digest too long for its field is left empty.
void Encode(const CacheEntry& entry, uint8_t* record);

// True when the 1000 bytes at `record` start with the record magic.
bool HasMagic(const uint8_t* record);

// Overwrites every field of `entry` with the entry stored at `record` (dirty
// false); each text ends at its first zero or at the last unit of its field.
// The verdict is taken as stored, unchecked.
void Decode(const uint8_t* record, CacheEntry& entry);

}  // namespace cache_file_record
