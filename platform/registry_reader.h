// Reads registry values through RegOpenKeyExW, RegQueryValueExW and
// RegCloseKey of "Advapi32.dll", bound at run time once per reader.
#pragma once

#include <string>

#include "platform/unique_handle.h"
#include "platform/win.h"

namespace platform {

class RegistryReader {
 public:
  // Binds the three functions through the system library cache; a reader
  // whose functions are missing fails every read.
  RegistryReader();

  // The data of `valueName` (null or empty: the key's default value) of
  // `subKey` under `root`, opened with `access`, read into a zero-filled
  // buffer that offers `byteLimit` bytes, up to its first zero code unit. The
  // value's type is not examined. Empty when a function is missing, the key
  // does not open, or the value is missing or longer than `byteLimit`.
  std::wstring ReadText(HKEY root, const wchar_t* subKey, const wchar_t* valueName, REGSAM access,
                        DWORD byteLimit) const;

 private:
  UniqueRegKey OpenKey(HKEY root, const wchar_t* subKey, REGSAM access) const;

  decltype(&::RegOpenKeyExW) openKey_ = nullptr;
  decltype(&::RegQueryValueExW) queryValue_ = nullptr;
  decltype(&::RegCloseKey) closeKey_ = nullptr;
};

}  // namespace platform
