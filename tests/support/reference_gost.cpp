#include "tests/support/reference_gost.h"

#include <cstddef>

namespace {

constexpr uint8_t kS[8][16] = {
    {13, 2, 8, 4, 6, 15, 11, 1, 10, 9, 3, 14, 5, 0, 12, 7}, {4, 11, 2, 14, 15, 0, 8, 13, 3, 12, 9, 7, 5, 10, 6, 1},
    {12, 1, 10, 15, 9, 2, 6, 8, 0, 13, 3, 4, 14, 7, 5, 11}, {2, 12, 4, 1, 7, 10, 11, 6, 8, 5, 3, 15, 13, 0, 14, 9},
    {7, 13, 14, 3, 0, 6, 9, 10, 1, 2, 8, 5, 11, 12, 4, 15}, {10, 0, 9, 14, 6, 3, 15, 5, 1, 13, 12, 7, 11, 4, 2, 8},
    {15, 1, 8, 14, 6, 11, 3, 4, 9, 7, 2, 13, 12, 0, 5, 10}, {14, 4, 13, 1, 2, 15, 11, 8, 3, 10, 6, 12, 5, 9, 0, 7},
};

uint32_t ReferenceF(uint32_t x) {
  uint32_t y = 0;
  for (int box = 0; box < 8; ++box) y |= uint32_t{kS[box][(x >> (4 * box)) & 15]} << (4 * box);
  return (y << 11) | (y >> 21);
}

}  // namespace

void ReferenceBlock(uint8_t* block, const GostKey& key, bool encrypt) {
  int order[32];
  for (int r = 0; r < 32; ++r) {
    const bool backward = encrypt ? r >= 24 : r >= 8;
    order[r] = backward ? 7 - r % 8 : r % 8;
  }
  uint32_t n1 = 0, n2 = 0;
  for (int i = 0; i < 4; ++i) {
    n1 |= uint32_t{block[i]} << (8 * i);
    n2 |= uint32_t{block[4 + i]} << (8 * i);
  }
  for (int r = 0; r < 32; ++r) {
    if (r % 2 == 0) {
      n2 ^= ReferenceF(n1 + key.x[order[r]]);
    } else {
      n1 ^= ReferenceF(n2 + key.x[order[r]]);
    }
  }
  for (int i = 0; i < 4; ++i) {
    block[i] = static_cast<uint8_t>(n2 >> (8 * i));
    block[4 + i] = static_cast<uint8_t>(n1 >> (8 * i));
  }
}

ByteArray ReferenceFrame(const ByteArray& plain, const GostKey& key) {
  if (plain.empty()) return {};
  const uint32_t length = static_cast<uint32_t>(plain.size());
  const uint32_t pad = length % 8 ? 8 - length % 8 : 0;
  ByteArray frame = {uint8_t(length >> 24), uint8_t(length >> 16), uint8_t(length >> 8), uint8_t(length), 0, 0, 0,
                     uint8_t(pad), 0, 0, 0, 0};
  ByteArray padded = plain;
  padded.resize(length + pad, 0);
  for (size_t at = 0; at < padded.size(); at += 8) ReferenceBlock(&padded[at], key, true);
  frame.insert(frame.end(), padded.begin(), padded.end());
  return frame;
}


ByteArray ReferenceUnframe(const ByteArray& frame, const GostKey& key) {
  if (frame.size() < 12) return {};
  const uint32_t length = uint32_t{frame[0]} << 24 | uint32_t{frame[1]} << 16 | uint32_t{frame[2]} << 8 | frame[3];
  ByteArray plain(frame.begin() + 12, frame.end());
  for (size_t at = 0; at + 8 <= plain.size(); at += 8) ReferenceBlock(&plain[at], key, false);
  plain.resize(length);
  return plain;
}

GostKey CacheKey() {
  GostKey key;
  MakeCacheKey(key);
  return key;
}
