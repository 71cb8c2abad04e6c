#include "cache/gost_cipher.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstddef>

#include "cache/cache_constants.h"
#include "cache/gost_cipher_avx2.h"
#include "platform/cpu_features.h"

namespace {

constexpr uint32_t kHeaderSize = kGostFrameHeaderSize;
constexpr uint32_t kBlockSize = 8;

// Two S-boxes merged per byte of the round value: T1 for bits 0-7 up to T4
// for bits 24-31, so a round takes four lookups instead of eight.
uint8_t T1[256], T2[256], T3[256], T4[256];

void FillTables() {
  constexpr auto& k = cache_constants::kGostSBoxes;
  for (int i = 0; i < 256; ++i) {
    T1[i] = static_cast<uint8_t>(k[1][i >> 4] << 4 | k[0][i & 15]);
    T2[i] = static_cast<uint8_t>(k[3][i >> 4] << 4 | k[2][i & 15]);
    T3[i] = static_cast<uint8_t>(k[5][i >> 4] << 4 | k[4][i & 15]);
    T4[i] = static_cast<uint8_t>(k[7][i >> 4] << 4 | k[6][i & 15]);
  }
}

std::atomic<bool> scalarOnly{false};

inline uint32_t F(uint32_t x) {
  // Indexing with a full-width copy spares a zero-extension per lookup.
  const size_t w = x;
  const size_t high = size_t{T4[w >> 24]} << 8 | T3[(w >> 16) & 255];
  const size_t low = size_t{T2[(w >> 8) & 255]} << 8 | T1[w & 255];
  const uint32_t y = static_cast<uint32_t>(high << 16 | low);
  return std::rotl(y, 11);
}

// One round over N independent blocks at once: their table lookups overlap
// instead of waiting on each other, which is where the speed comes from.
template <size_t N>
inline void Round(uint32_t (&target)[N], const uint32_t (&source)[N], uint32_t subkey) {
  for (size_t i = 0; i < N; ++i) target[i] ^= F(source[i] + subkey);
}

// The 32 rounds. The halves are never swapped: odd rounds change N2, even
// rounds N1. Encryption runs the key forward three times, then backward;
// decryption forward once, then backward three times.
template <bool Encrypt, size_t N>
inline void CryptLanes(uint32_t (&n1)[N], uint32_t (&n2)[N], const GostKey& key) {
  const uint32_t x0 = key.x[0], x1 = key.x[1], x2 = key.x[2], x3 = key.x[3];
  const uint32_t x4 = key.x[4], x5 = key.x[5], x6 = key.x[6], x7 = key.x[7];
  auto forward = [&] {
    Round(n2, n1, x0); Round(n1, n2, x1); Round(n2, n1, x2); Round(n1, n2, x3);
    Round(n2, n1, x4); Round(n1, n2, x5); Round(n2, n1, x6); Round(n1, n2, x7);
  };
  auto backward = [&] {
    Round(n2, n1, x7); Round(n1, n2, x6); Round(n2, n1, x5); Round(n1, n2, x4);
    Round(n2, n1, x3); Round(n1, n2, x2); Round(n2, n1, x1); Round(n1, n2, x0);
  };
  if constexpr (Encrypt) {
    forward(); forward(); forward(); backward();
  } else {
    forward(); backward(); backward(); backward();
  }
}

inline uint32_t LoadLe(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

inline void StoreLe(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

inline uint32_t LoadBe(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}

inline void StoreBe(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

constexpr size_t kLanes = 4;

template <bool Encrypt, size_t N>
inline void CryptGroup(const GostKey& key, const uint8_t* in, uint8_t* out) {
  uint32_t n1[N], n2[N];
  for (size_t i = 0; i < N; ++i) {
    n1[i] = LoadLe(in + kBlockSize * i);
    n2[i] = LoadLe(in + kBlockSize * i + 4);
  }
  CryptLanes<Encrypt>(n1, n2, key);
  for (size_t i = 0; i < N; ++i) {
    StoreLe(out + kBlockSize * i, n2[i]);
    StoreLe(out + kBlockSize * i + 4, n1[i]);
  }
}

// Whole blocks only; tables must be built. The vector path takes what it
// can in groups of eight; the rest, and everything on other processors,
// goes through the table lookups.
template <bool Encrypt>
void CryptBlockRun(const GostKey& key, const uint8_t* in, size_t blocks, uint8_t* out) {
  size_t i = GostAvx2Active() ? GostCryptBlocksAvx2(key, in, blocks, out, Encrypt) : 0;
  for (; i + kLanes <= blocks; i += kLanes) CryptGroup<Encrypt, kLanes>(key, in + kBlockSize * i, out + kBlockSize * i);
  for (; i < blocks; ++i) CryptGroup<Encrypt, 1>(key, in + kBlockSize * i, out + kBlockSize * i);
}

template <bool Encrypt>
void CryptOneBlock(const uint32_t in[2], uint32_t out[2], const GostKey& key) {
  GostBuildTables();
  uint32_t n1[1] = {in[0]}, n2[1] = {in[1]};
  CryptLanes<Encrypt>(n1, n2, key);
  out[0] = n2[0];
  out[1] = n1[0];
}

}  // namespace

void GostBuildTables() {
  static const bool built = (FillTables(), true);
  (void)built;
}

void GostEncryptBlock(const uint32_t in[2], uint32_t out[2], const GostKey& key) { CryptOneBlock<true>(in, out, key); }

void GostDecryptBlock(const uint32_t in[2], uint32_t out[2], const GostKey& key) { CryptOneBlock<false>(in, out, key); }

bool GostCryptBlocks(const GostKey& key, const uint8_t* input, uint32_t length, uint8_t* output, bool encrypt) {
  if (input == nullptr || output == nullptr || length < 4) return false;
  GostBuildTables();
  if (encrypt) {
    CryptBlockRun<true>(key, input, length / kBlockSize, output);
  } else {
    CryptBlockRun<false>(key, input, length / kBlockSize, output);
  }
  return true;
}

bool GostAvx2Active() { return platform::CpuHasAvx2() && !scalarOnly.load(std::memory_order_relaxed); }

void GostUseScalarPathForTesting(bool scalar) { scalarOnly.store(scalar, std::memory_order_relaxed); }

bool GostEncryptBuffer(const GostKey& key, const uint8_t* data, uint32_t length, ByteArray& out) {
  if (length == 0) {
    out.clear();
    return true;
  }
  const uint32_t pad = (length % kBlockSize) ? kBlockSize - length % kBlockSize : 0;
  // Every byte of the frame is written below, so `out` can take the frame
  // directly and keep its storage; resize leaves it as it was if it throws.
  out.resize(size_t{kHeaderSize} + length + pad);
  uint8_t* frame = out.data();
  StoreBe(frame, length);
  StoreBe(frame + 4, pad);
  StoreBe(frame + 8, 0);

  GostBuildTables();
  const size_t wholeBlocks = length / kBlockSize;
  uint8_t* cipher = frame + kHeaderSize;
  CryptBlockRun<true>(key, data, wholeBlocks, cipher);
  if (pad != 0) {
    // The last block is the plaintext's tail followed by zeros.
    uint8_t tail[kBlockSize] = {};
    const size_t done = wholeBlocks * kBlockSize;
    std::copy(data + done, data + length, tail);
    CryptBlockRun<true>(key, tail, 1, cipher + done);
  }
  return true;
}

bool GostCheckFrame(const uint8_t* frame, uint32_t length, uint32_t& plainLength) {
  if (frame == nullptr || length <= kHeaderSize) return false;
  const uint32_t cipherLength = length - kHeaderSize;
  if (cipherLength % kBlockSize != 0) return false;
  const uint32_t stated = LoadBe(frame);
  const uint32_t pad = LoadBe(frame + 4);
  const uint32_t reserved = LoadBe(frame + 8);
  if (pad >= cipherLength || cipherLength - pad != stated || reserved != 0) return false;
  plainLength = stated;
  return true;
}

bool GostDecryptBuffer(const GostKey& key, const uint8_t* frame, uint32_t length, ByteArray& out) {
  if (length == 0) {
    out.clear();
    return true;
  }
  uint32_t plainLength = 0;
  if (!GostCheckFrame(frame, length, plainLength)) return false;
  // Every check is done: nothing can fail from here on, so the plaintext can
  // go straight into `out`.
  out.resize(length - kHeaderSize);
  GostCryptBlocks(key, frame + kHeaderSize, length - kHeaderSize, out.data(), false);
  out.resize(plainLength);
  return true;
}

bool GostDecryptFrameInPlace(const GostKey& key, uint8_t* frame, uint32_t length, uint32_t& plainLength) {
  if (length == 0) {
    plainLength = 0;
    return true;
  }
  uint32_t stated = 0;
  if (!GostCheckFrame(frame, length, stated)) return false;
  GostCryptBlocks(key, frame + kHeaderSize, length - kHeaderSize, frame + kHeaderSize, false);
  plainLength = stated;
  return true;
}

void MakeCacheKey(GostKey& key) {
  const auto* text = reinterpret_cast<const uint8_t*>(cache_constants::kKeyText);
  for (uint32_t i = 0; i < 8; ++i) key.x[i] = (LoadLe(text + 4 * i) << 1) + i;
}
