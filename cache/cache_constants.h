// Values that stored cache files and other launcher processes depend on.
// Changing any of them makes existing cache files unreadable or splits the
// processes of the family onto different locks.
#pragma once

#include <cstddef>
#include <cstdint>

namespace cache_constants {

// The cache cipher's key is derived from these 32 bytes (no terminator).
inline constexpr char kKeyText[] = "Varo.SignerCache/GOST-28147:2026";
static_assert(sizeof(kKeyText) - 1 == 32);

// The cache file's name inside the product folder.
inline constexpr wchar_t kFileName[] = L"SignCache.dat";
static_assert(sizeof(kFileName) / sizeof(wchar_t) - 1 == 13);

inline constexpr uint32_t kRecordMagic = 0x23AB45DB;

// Files of this size or more are never read.
inline constexpr uint32_t kReadLimit = 5 * 1024 * 1024;

// The cross-process lock is "Global\" + prefix + the lower-cased file name.
inline constexpr wchar_t kMutexNamePrefix[] = L"Global\\QM.Signer.File.{A1A1B7F7-8155-4330-A7DD-765779FE2D4A}.";

}  // namespace cache_constants
