// HKEY_LOCAL_MACHINE\SOFTWARE\<product> value "Path" in one registry view for
// the lifetime of the object; the value, and the key when it made it, are
// removed at the end. The key is prefix-wide: test programs that use this
// carry RESOURCE_LOCK varopic_install_key.
#pragma once

#include <string>

#include "platform/win.h"

class InstallPathValue {
 public:
  // `view` is KEY_WOW64_64KEY or KEY_WOW64_32KEY.
  InstallPathValue(const std::wstring& product, const std::wstring& path, REGSAM view);
  ~InstallPathValue();
  InstallPathValue(const InstallPathValue&) = delete;
  InstallPathValue& operator=(const InstallPathValue&) = delete;

 private:
  std::wstring subKey_;
  REGSAM view_;
  bool createdKey_ = false;
};
