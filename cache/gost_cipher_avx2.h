// The cache cipher's block loop for processors with AVX2. Its source file is
// the only one built for AVX2: call it only after platform::CpuHasAvx2().
#pragma once

#include <cstddef>
#include <cstdint>

#include "cache/gost_cipher.h"

// Enciphers or deciphers the leading blocks of `input` into the same places
// of `output` in groups of eight, and returns how many blocks it did (a
// multiple of eight, at most `blocks`); the caller does the rest. `input`
// and `output` may be the same buffer.
size_t GostCryptBlocksAvx2(const GostKey& key, const uint8_t* input, size_t blocks, uint8_t* output, bool encrypt);
