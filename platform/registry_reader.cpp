#include "platform/registry_reader.h"

#include <vector>

#include "platform/get_proc.h"
#include "platform/system_library_cache.h"

namespace platform {

RegistryReader::RegistryReader() {
  const HMODULE advapi = SystemLibraryCache::Instance().GetLibrary(L"Advapi32.dll");
  openKey_ = GetProc<decltype(&::RegOpenKeyExW)>(advapi, "RegOpenKeyExW");
  queryValue_ = GetProc<decltype(&::RegQueryValueExW)>(advapi, "RegQueryValueExW");
  closeKey_ = GetProc<decltype(&::RegCloseKey)>(advapi, "RegCloseKey");
}

UniqueRegKey RegistryReader::OpenKey(HKEY root, const wchar_t* subKey, REGSAM access) const {
  // A key that could not be closed again is never opened.
  if (openKey_ == nullptr || closeKey_ == nullptr) return UniqueRegKey();
  HKEY key = nullptr;
  if (openKey_(root, subKey, 0, access, &key) != ERROR_SUCCESS) return UniqueRegKey();
  return UniqueRegKey({key, closeKey_});
}

std::wstring RegistryReader::ReadText(HKEY root, const wchar_t* subKey, const wchar_t* valueName, REGSAM access,
                                      DWORD byteLimit) const {
  if (queryValue_ == nullptr) return std::wstring();
  const UniqueRegKey key = OpenKey(root, subKey, access);
  if (!key) return std::wstring();
  // Room for every byte offered (an odd limit still ends in a whole code
  // unit) and one more code unit, so the text always ends in a zero.
  std::vector<wchar_t> buffer((byteLimit + 1) / sizeof(wchar_t) + 1, L'\0');
  DWORD type = REG_SZ;
  DWORD size = byteLimit;
  if (queryValue_(key.Get().key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) !=
      ERROR_SUCCESS) {
    return std::wstring();
  }
  return std::wstring(buffer.data());
}

}  // namespace platform
