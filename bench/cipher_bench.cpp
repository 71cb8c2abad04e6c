// Throughput of the cache cipher on a cache file of the largest readable
// size, next to libgcrypt's GOST 28147 in ECB mode (other S-boxes, the same
// work per block) when it is available.
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

#include "cache/gost_cipher.h"

#ifdef VARO_HAVE_GCRYPT
#include <gcrypt.h>
#endif

namespace {

constexpr uint32_t kSize = 5 * 1000 * 1000;
constexpr int kRepeats = 15;

// Best of several runs after one untimed warm-up run, in MB/s (10^6 bytes per
// second).
double MegabytesPerSecond(const std::function<void()>& work) {
  work();
  double best = 1e30;
  for (int i = 0; i < kRepeats; ++i) {
    const auto start = std::chrono::steady_clock::now();
    work();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (took.count() < best) best = took.count();
  }
  return kSize / best / 1e6;
}

}  // namespace

int main() {
  std::vector<uint8_t> plain(kSize);
  for (uint32_t i = 0; i < kSize; ++i) plain[i] = static_cast<uint8_t>(i * 131 + (i >> 11));
  GostKey key;
  MakeCacheKey(key);

  ByteArray frame, back;
  const double encrypt = MegabytesPerSecond([&] { GostEncryptBuffer(key, plain.data(), kSize, frame); });
  const double decrypt = MegabytesPerSecond(
      [&] { GostDecryptBuffer(key, frame.data(), static_cast<uint32_t>(frame.size()), back); });
  if (back != plain) {
    std::puts("round trip failed");
    return 1;
  }
  std::printf("GostEncryptBuffer   %8.1f MB/s\n", encrypt);
  std::printf("GostDecryptBuffer   %8.1f MB/s\n", decrypt);

#ifdef VARO_HAVE_GCRYPT
  gcry_check_version(nullptr);
  gcry_cipher_hd_t handle = nullptr;
  if (gcry_cipher_open(&handle, GCRY_CIPHER_GOST28147, GCRY_CIPHER_MODE_ECB, 0) != 0 ||
      gcry_cipher_setkey(handle, key.x, sizeof key.x) != 0) {
    std::puts("libgcrypt GOST 28147 unavailable");
    return 1;
  }
  std::vector<uint8_t> out(kSize);
  const double gcryptEncrypt =
      MegabytesPerSecond([&] { gcry_cipher_encrypt(handle, out.data(), kSize, plain.data(), kSize); });
  const double gcryptDecrypt =
      MegabytesPerSecond([&] { gcry_cipher_decrypt(handle, out.data(), kSize, plain.data(), kSize); });
  gcry_cipher_close(handle);
  std::printf("libgcrypt encrypt   %8.1f MB/s\n", gcryptEncrypt);
  std::printf("libgcrypt decrypt   %8.1f MB/s\n", gcryptDecrypt);
  std::printf("speed-up            %8.2fx encrypt, %.2fx decrypt\n", encrypt / gcryptEncrypt, decrypt / gcryptDecrypt);
#else
  std::puts("libgcrypt not found: no comparison");
#endif
  return 0;
}
