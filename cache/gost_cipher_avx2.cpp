// Eight blocks per YMM register pair: N1 of eight blocks in one register,
// N2 in the other. The 4-bit S-boxes become byte shuffles: each byte of the
// round value is split into its low and high nibble, and one 16-entry table
// per S-box turns every nibble into its substitute at once.
//
// Everything in this file is built for AVX2, so it must run only after the
// caller checked the processor. It therefore uses nothing inline from
// shared headers (no standard library templates, whose AVX2-built copies
// the linker could pick for other files too), and its tables are constant-
// initialised, so no AVX2 code runs at start-up.
#include "cache/gost_cipher_avx2.h"

#include <immintrin.h>

#include "cache/cache_constants.h"

namespace {

// Per byte position j of the round value (bits 8j to 8j+7): the substitutes
// of the low nibble (S-box 2j+1) and of the high nibble (S-box 2j+2, shifted
// into the high nibble), repeated in both 128-bit lanes as the shuffle needs.
struct ShuffleTables {
  alignas(32) uint8_t low[4][32];
  alignas(32) uint8_t high[4][32];
};

constexpr ShuffleTables MakeShuffleTables() {
  ShuffleTables t{};
  for (int j = 0; j < 4; ++j) {
    for (int i = 0; i < 32; ++i) {
      t.low[j][i] = cache_constants::kGostSBoxes[2 * j][i & 15];
      t.high[j][i] = static_cast<uint8_t>(cache_constants::kGostSBoxes[2 * j + 1][i & 15] << 4);
    }
  }
  return t;
}

constexpr ShuffleTables kShuffleTables = MakeShuffleTables();

struct RoundTables {
  __m256i low[4];
  __m256i high[4];
  __m256i nibble;
  __m256i byte1;  // selects byte 1 of every 32-bit word, for the byte blend
  __m256i byte3;
};

inline __m256i Load(const void* p) { return _mm256_loadu_si256(static_cast<const __m256i*>(p)); }

RoundTables LoadRoundTables() {
  RoundTables t;
  for (int j = 0; j < 4; ++j) {
    t.low[j] = Load(kShuffleTables.low[j]);
    t.high[j] = Load(kShuffleTables.high[j]);
  }
  t.nibble = _mm256_set1_epi8(0x0F);
  t.byte1 = _mm256_set1_epi32(0x0000FF00);
  t.byte3 = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
  return t;
}

// f(x) for eight words: substitute, then rotate left by 11.
inline __m256i F(__m256i x, const RoundTables& t) {
  const __m256i lo = _mm256_and_si256(x, t.nibble);
  const __m256i hi = _mm256_and_si256(_mm256_srli_epi16(x, 4), t.nibble);
  // Each shuffle substitutes every byte with one position's S-boxes; the
  // blends then keep, per byte, the result of that byte's own position.
  __m256i s[4];
  for (int j = 0; j < 4; ++j) {
    s[j] = _mm256_or_si256(_mm256_shuffle_epi8(t.low[j], lo), _mm256_shuffle_epi8(t.high[j], hi));
  }
  const __m256i bytes01 = _mm256_blendv_epi8(s[0], s[1], t.byte1);
  const __m256i bytes23 = _mm256_blendv_epi8(s[2], s[3], t.byte3);
  const __m256i y = _mm256_blend_epi16(bytes01, bytes23, 0xAA);
  return _mm256_or_si256(_mm256_slli_epi32(y, 11), _mm256_srli_epi32(y, 21));
}

// One round over G independent register pairs, which keeps G chains of
// shuffles in flight.
template <int G>
inline void Round(__m256i (&target)[G], const __m256i (&source)[G], __m256i subkey, const RoundTables& t) {
  for (int g = 0; g < G; ++g) target[g] = _mm256_xor_si256(target[g], F(_mm256_add_epi32(source[g], subkey), t));
}

template <bool Encrypt, int G>
inline void CryptRegisters(__m256i (&n1)[G], __m256i (&n2)[G], const __m256i (&k)[8], const RoundTables& t) {
  auto forward = [&] {
    Round(n2, n1, k[0], t); Round(n1, n2, k[1], t); Round(n2, n1, k[2], t); Round(n1, n2, k[3], t);
    Round(n2, n1, k[4], t); Round(n1, n2, k[5], t); Round(n2, n1, k[6], t); Round(n1, n2, k[7], t);
  };
  auto backward = [&] {
    Round(n2, n1, k[7], t); Round(n1, n2, k[6], t); Round(n2, n1, k[5], t); Round(n1, n2, k[4], t);
    Round(n2, n1, k[3], t); Round(n1, n2, k[2], t); Round(n2, n1, k[1], t); Round(n1, n2, k[0], t);
  };
  if constexpr (Encrypt) {
    forward(); forward(); forward(); backward();
  } else {
    forward(); backward(); backward(); backward();
  }
}

// Blocks 0-3 and 4-7 as loaded hold N1, N2 alternately. Swapping the middle
// words of each lane and pairing 64-bit halves across the two registers
// gathers all N1 in one register and all N2 in the other (in the block
// order 0 1 4 5 | 2 3 6 7, which the store undoes).
constexpr int kMiddleSwap = 0xD8;  // words 0 2 1 3

template <bool Encrypt, int G>
void CryptGroups(const uint8_t* in, uint8_t* out, const __m256i (&k)[8], const RoundTables& t) {
  __m256i n1[G], n2[G];
  for (int g = 0; g < G; ++g) {
    const __m256i a = _mm256_shuffle_epi32(Load(in + 64 * g), kMiddleSwap);
    const __m256i b = _mm256_shuffle_epi32(Load(in + 64 * g + 32), kMiddleSwap);
    n1[g] = _mm256_unpacklo_epi64(a, b);
    n2[g] = _mm256_unpackhi_epi64(a, b);
  }
  CryptRegisters<Encrypt>(n1, n2, k, t);
  // A block leaves as N2, N1.
  for (int g = 0; g < G; ++g) {
    const __m256i a = _mm256_shuffle_epi32(_mm256_unpacklo_epi64(n2[g], n1[g]), kMiddleSwap);
    const __m256i b = _mm256_shuffle_epi32(_mm256_unpackhi_epi64(n2[g], n1[g]), kMiddleSwap);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 64 * g), a);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 64 * g + 32), b);
  }
}

constexpr size_t kBlocksPerGroup = 8;
constexpr int kGroupsInFlight = 2;

template <bool Encrypt>
size_t CryptRun(const GostKey& key, const uint8_t* in, size_t blocks, uint8_t* out) {
  const RoundTables t = LoadRoundTables();
  __m256i k[8];
  for (int i = 0; i < 8; ++i) k[i] = _mm256_set1_epi32(static_cast<int>(key.x[i]));
  constexpr size_t kWide = kBlocksPerGroup * kGroupsInFlight;
  size_t done = 0;
  for (; done + kWide <= blocks; done += kWide) {
    CryptGroups<Encrypt, kGroupsInFlight>(in + 8 * done, out + 8 * done, k, t);
  }
  if (done + kBlocksPerGroup <= blocks) {
    CryptGroups<Encrypt, 1>(in + 8 * done, out + 8 * done, k, t);
    done += kBlocksPerGroup;
  }
  return done;
}

}  // namespace

size_t GostCryptBlocksAvx2(const GostKey& key, const uint8_t* input, size_t blocks, uint8_t* output, bool encrypt) {
  return encrypt ? CryptRun<true>(key, input, blocks, output) : CryptRun<false>(key, input, blocks, output);
}
