// Owner of an open registry key. The launchers do not link Advapi32, so the
// key is closed through RegCloseKey bound at run time.
#pragma once

#include "platform/unique_handle.h"
#include "platform/win.h"

namespace platform {

// Keys from RegOpenKeyExW or RegCreateKeyExW only: predefined keys such as
// HKEY_LOCAL_MACHINE are never owned.
struct RegKeyTraits {
  using Type = HKEY;
  static bool IsValid(HKEY key) { return key != nullptr; }
  // Leaves the key open when Advapi32.dll or RegCloseKey cannot be bound.
  static void Close(HKEY key);
  static HKEY Invalid() { return nullptr; }
};

using UniqueRegKey = UniqueHandle<RegKeyTraits>;

}  // namespace platform
