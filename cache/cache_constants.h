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

inline constexpr uint32_t kRecordMagic = 0x23AB45DB;

// The cache cipher's 4-bit S-boxes K1..K8: K1 substitutes bits 0-3 of the
// round value, K8 bits 28-31.
inline constexpr uint8_t kGostSBoxes[8][16] = {
    {13, 2, 8, 4, 6, 15, 11, 1, 10, 9, 3, 14, 5, 0, 12, 7},
    {4, 11, 2, 14, 15, 0, 8, 13, 3, 12, 9, 7, 5, 10, 6, 1},
    {12, 1, 10, 15, 9, 2, 6, 8, 0, 13, 3, 4, 14, 7, 5, 11},
    {2, 12, 4, 1, 7, 10, 11, 6, 8, 5, 3, 15, 13, 0, 14, 9},
    {7, 13, 14, 3, 0, 6, 9, 10, 1, 2, 8, 5, 11, 12, 4, 15},
    {10, 0, 9, 14, 6, 3, 15, 5, 1, 13, 12, 7, 11, 4, 2, 8},
    {15, 1, 8, 14, 6, 11, 3, 4, 9, 7, 2, 13, 12, 0, 5, 10},
    {14, 4, 13, 1, 2, 15, 11, 8, 3, 10, 6, 12, 5, 9, 0, 7},
};

// Files of this size or more are never read.
inline constexpr uint32_t kReadLimit = 5 * 1024 * 1024;

// The cross-process lock is "Global\" + prefix + the lower-cased file name.
inline constexpr wchar_t kMutexNamePrefix[] = L"Global\\QM.Signer.File.{A1A1B7F7-8155-4330-A7DD-765779FE2D4A}.";

}  // namespace cache_constants
