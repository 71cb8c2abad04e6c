// A deliberately plain second implementation of the cache cipher and its
// frame: eight S-box lookups per round, key order from a table, explicit
// padding. Tests hold the optimised code and the stored format against it.
#pragma once

#include "cache/gost_cipher.h"

// The key the product enciphers its cache with.
GostKey CacheKey();

void ReferenceBlock(uint8_t* block, const GostKey& key, bool encrypt);

// The frame of `plain` (empty for an empty plaintext).
ByteArray ReferenceFrame(const ByteArray& plain, const GostKey& key);

// The plaintext of a well-formed frame (no checks).
ByteArray ReferenceUnframe(const ByteArray& frame, const GostKey& key);
