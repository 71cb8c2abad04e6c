#include "tests/support/install_path_value.h"

#include <gtest/gtest.h>

#include "platform/unique_handle.h"

InstallPathValue::InstallPathValue(const std::wstring& product, const std::wstring& path, REGSAM view)
    : subKey_(L"SOFTWARE\\" + product), view_(view) {
  HKEY created = nullptr;
  DWORD disposition = 0;
  const LSTATUS status = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, subKey_.c_str(), 0, nullptr, 0,
                                           KEY_SET_VALUE | view_, nullptr, &created, &disposition);
  EXPECT_EQ(status, ERROR_SUCCESS) << "cannot create the install key";
  if (status != ERROR_SUCCESS) return;
  platform::UniqueRegKey key({created, &::RegCloseKey});
  createdKey_ = disposition == REG_CREATED_NEW_KEY;
  EXPECT_EQ(::RegSetValueExW(key.Get().key, L"Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                             static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS)
      << "cannot write the install path";
}

InstallPathValue::~InstallPathValue() {
  if (createdKey_) {
    ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, subKey_.c_str(), view_, 0);
    return;
  }
  HKEY opened = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, subKey_.c_str(), 0, KEY_SET_VALUE | view_, &opened) == ERROR_SUCCESS) {
    platform::UniqueRegKey key({opened, &::RegCloseKey});
    ::RegDeleteValueW(key.Get().key, L"Path");
  }
}
