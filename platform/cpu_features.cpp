#include "platform/cpu_features.h"

#include <cstdint>

#ifdef _MSC_VER
#include <intrin.h>
#else
// GCC and Clang declare _xgetbv only for code built with XSAVE enabled; this
// one file is, and the compiler never emits XSAVE instructions on its own.
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace platform {
namespace {

struct CpuidResult {
  uint32_t eax, ebx, ecx, edx;
};

CpuidResult Cpuid(uint32_t leaf, uint32_t subleaf) {
#ifdef _MSC_VER
  int r[4] = {};
  __cpuidex(r, static_cast<int>(leaf), static_cast<int>(subleaf));
  return {static_cast<uint32_t>(r[0]), static_cast<uint32_t>(r[1]), static_cast<uint32_t>(r[2]),
          static_cast<uint32_t>(r[3])};
#else
  CpuidResult r{};
  __cpuid_count(leaf, subleaf, r.eax, r.ebx, r.ecx, r.edx);
  return r;
#endif
}

bool DetectAvx2() {
  constexpr uint32_t kOsXsave = 1u << 27;  // leaf 1, ECX: XGETBV usable
  constexpr uint32_t kAvx = 1u << 28;      // leaf 1, ECX
  constexpr uint32_t kAvx2 = 1u << 5;      // leaf 7 subleaf 0, EBX
  constexpr uint64_t kXmmYmmState = 0x6;   // XCR0 bits 1 (SSE) and 2 (AVX)
  if (Cpuid(0, 0).eax < 7) return false;
  const uint32_t features = Cpuid(1, 0).ecx;
  if ((features & kOsXsave) == 0 || (features & kAvx) == 0) return false;
  if ((_xgetbv(0) & kXmmYmmState) != kXmmYmmState) return false;
  return (Cpuid(7, 0).ebx & kAvx2) != 0;
}

}  // namespace

bool CpuHasAvx2() {
  static const bool has = DetectAvx2();
  return has;
}

}  // namespace platform
