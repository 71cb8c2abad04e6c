// The operating-system version that decides the PDF reader's start-up gate.
#pragma once

#include <cstdint>

struct OsVersion {
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t build = 0;
};

// GetVersionExW's answer; from 6.2 on (where that answer stops at 6.2 for
// programs without a compatibility manifest) the file version of kernel32.dll
// instead. All zero when GetVersionExW fails.
OsVersion QueryEffectiveOsVersion();

// Windows 7 (6.1) or later.
bool IsSupportedOs(const OsVersion& version);
