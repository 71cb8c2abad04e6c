// Any bytes as a cipher frame: deciphering must not crash or read outside the
// input, a frame it accepts must give exactly the length its header names,
// and the optimised cipher must agree with the plain reference on every block
// and on framing what it deciphered. Kept enciphered as a cache file's
// records, the frame is taken exactly when it deciphers into whole records
// that all carry the magic.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "cache/cache_file_record.h"
#include "cache/enciphered_records.h"
#include "cache/gost_cipher.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/support/reference_gost.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  // The first byte picks the cache's own key or a key made from the input.
  GostKey key;
  MakeCacheKey(key);
  const bool cacheKey = !(size > 33 && (data[0] & 1));
  if (!cacheKey) {
    std::memcpy(key.x, data + 1, sizeof(key.x));
    data += 33;
    size -= 33;
  }

  ByteArray plain;
  const bool deciphered = GostDecryptBuffer(key, data, static_cast<uint32_t>(size), plain);
  if (cacheKey) {
    bool records = deciphered && plain.size() % cache_file_record::kSize == 0;
    for (size_t at = 0; records && at < plain.size(); at += cache_file_record::kSize) {
      records = cache_file_record::HasMagic(&plain[at]);
    }
    EncipheredRecords kept;
    FUZZ_CHECK(kept.Adopt(data, static_cast<uint32_t>(size)) == records);
  }
  if (deciphered) {
    const uint32_t declared = size == 0 ? 0 : uint32_t{data[0]} << 24 | uint32_t{data[1]} << 16 |
                                                  uint32_t{data[2]} << 8 | data[3];
    FUZZ_CHECK(plain.size() == declared);
    ByteArray frame;
    FUZZ_CHECK(GostEncryptBuffer(key, plain.data(), static_cast<uint32_t>(plain.size()), frame));
    FUZZ_CHECK(frame == ReferenceFrame(plain, key));
    FUZZ_CHECK(ReferenceUnframe(frame, key) == plain);
    ByteArray again;
    FUZZ_CHECK(GostDecryptBuffer(key, frame.data(), static_cast<uint32_t>(frame.size()), again));
    FUZZ_CHECK(again == plain);
  }

  // Block by block against the reference, both ways.
  const size_t blocks = size / 8 > 64 ? 64 : size / 8;
  if (blocks > 0) {
    for (bool encrypt : {true, false}) {
      ByteArray fast(blocks * 8);
      FUZZ_CHECK(GostCryptBlocks(key, data, static_cast<uint32_t>(fast.size()), fast.data(), encrypt));
      ByteArray slow(data, data + blocks * 8);
      for (size_t b = 0; b < blocks; ++b) ReferenceBlock(&slow[b * 8], key, encrypt);
      FUZZ_CHECK(fast == slow);
    }
  }
  return 0;
}
