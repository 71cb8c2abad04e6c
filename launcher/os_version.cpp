#include "launcher/os_version.h"

#include <cstring>

#include "platform/win.h"

namespace {

// Offsets into the VS_VERSIONINFO block of a version resource.
constexpr size_t kValueLengthOffset = 2;
constexpr size_t kKeyOffset = 6;
constexpr size_t kFileVersionMsOffset = 48;
constexpr size_t kFileVersionLsOffset = 52;
constexpr size_t kMinimumBlockSize = kFileVersionLsOffset + 4;
static_assert(kKeyOffset + 16 * sizeof(wchar_t) <= kFileVersionMsOffset);

uint16_t Word(const uint8_t* block, size_t offset) {
  uint16_t value = 0;
  std::memcpy(&value, block + offset, sizeof value);
  return value;
}

// Overwrites `version` with kernel32.dll's file version when its version
// resource can be read.
void ReadKernel32FileVersion(OsVersion& version) {
  const HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  if (kernel32 == nullptr) return;
  const HRSRC resource = ::FindResourceW(kernel32, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16));
  if (resource == nullptr) return;
  const HGLOBAL loaded = ::LoadResource(kernel32, resource);
  if (loaded == nullptr) return;
  const auto* block = static_cast<const uint8_t*>(::LockResource(loaded));
  if (block == nullptr || ::SizeofResource(kernel32, resource) < kMinimumBlockSize) return;
  // The key is unaligned UTF-16 inside the block; copy it out to compare.
  // One unit more than "VS_VERSION_INFO" and its terminator, so that a longer
  // key cannot pass for it.
  wchar_t key[17] = {};
  std::memcpy(key, block + kKeyOffset, sizeof(key) - sizeof(wchar_t));
  if (::lstrcmpiW(key, L"VS_VERSION_INFO") != 0 || Word(block, kValueLengthOffset) == 0) return;
  version.major = Word(block, kFileVersionMsOffset + 2);
  version.minor = Word(block, kFileVersionMsOffset);
  version.build = Word(block, kFileVersionLsOffset + 2);
}

}  // namespace

OsVersion QueryEffectiveOsVersion() {
  OsVersion version;
  OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize = sizeof info;
#ifdef _MSC_VER
#pragma warning(suppress : 4996)  // deprecated, but the gate wants exactly what it reports
#endif
  if (!::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) return version;
  version.major = info.dwMajorVersion;
  version.minor = info.dwMinorVersion;
  version.build = info.dwBuildNumber;
  if (version.major > 6 || (version.major == 6 && version.minor >= 2)) ReadKernel32FileVersion(version);
  return version;
}

bool IsSupportedOs(const OsVersion& version) {
  return version.major > 6 || (version.major == 6 && version.minor >= 1);
}
