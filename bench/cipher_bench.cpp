// Throughput of the cache cipher on a cache file of the largest readable
// size, on its table-lookup and its AVX2 path, next to libgcrypt's GOST 28147
// in ECB mode (other S-boxes, the same work per block) when it is available.
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

  struct Path {
    const char* name;
    bool scalar;
    double encrypt = 0, decrypt = 0;
  };
  Path paths[] = {{"scalar", true}, {"AVX2", false}};
  for (Path& path : paths) {
    GostUseScalarPathForTesting(path.scalar);
    if (!path.scalar && !GostAvx2Active()) {
      std::puts("AVX2                not available on this processor");
      continue;
    }
    ByteArray frame, back;
    path.encrypt = MegabytesPerSecond([&] { GostEncryptBuffer(key, plain.data(), kSize, frame); });
    path.decrypt = MegabytesPerSecond(
        [&] { GostDecryptBuffer(key, frame.data(), static_cast<uint32_t>(frame.size()), back); });
    if (back != plain) {
      std::printf("%s round trip failed\n", path.name);
      return 1;
    }
    std::printf("%-8s encrypt     %8.1f MB/s\n", path.name, path.encrypt);
    std::printf("%-8s decrypt     %8.1f MB/s\n", path.name, path.decrypt);
  }
  GostUseScalarPathForTesting(false);

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
  for (const Path& path : paths) {
    if (path.encrypt == 0) continue;
    std::printf("%-8s speed-up    %8.2fx encrypt, %.2fx decrypt (vs libgcrypt)\n", path.name,
                path.encrypt / gcryptEncrypt, path.decrypt / gcryptDecrypt);
  }
#else
  std::puts("libgcrypt not found: no comparison");
#endif
  return 0;
}
