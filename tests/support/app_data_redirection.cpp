#include "tests/support/app_data_redirection.h"

#include <gtest/gtest.h>

namespace {

constexpr wchar_t kUserShellFolders[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr wchar_t kAppData[] = L"AppData";

DWORD TextBytes(const std::wstring& text) { return static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)); }

}  // namespace

AppDataRedirection::AppDataRedirection(const std::wstring& folder) {
  DWORD bytes = 0;
  if (::RegGetValueW(HKEY_CURRENT_USER, kUserShellFolders, kAppData, RRF_RT_ANY | RRF_NOEXPAND, &previousType_,
                     nullptr, &bytes) == ERROR_SUCCESS) {
    previous_.resize(bytes);
    hadValue_ = ::RegGetValueW(HKEY_CURRENT_USER, kUserShellFolders, kAppData, RRF_RT_ANY | RRF_NOEXPAND,
                               &previousType_, previous_.data(), &bytes) == ERROR_SUCCESS;
  }
  const LSTATUS set = ::RegSetKeyValueW(HKEY_CURRENT_USER, kUserShellFolders, kAppData, REG_EXPAND_SZ,
                                        folder.c_str(), TextBytes(folder));
  EXPECT_EQ(set, ERROR_SUCCESS) << "cannot redirect AppData";
}

AppDataRedirection::~AppDataRedirection() {
  if (hadValue_) {
    ::RegSetKeyValueW(HKEY_CURRENT_USER, kUserShellFolders, kAppData, previousType_, previous_.data(),
                      static_cast<DWORD>(previous_.size()));
  } else {
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kUserShellFolders, kAppData);
  }
}
