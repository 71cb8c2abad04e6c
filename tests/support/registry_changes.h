// Registry values that a test sets or removes, put back as they were (keys it
// had to create removed again) in reverse order when the object goes. Every
// registry change a test makes goes through one of these.
#pragma once

#include <string>
#include <vector>

#include "platform/win.h"

class RegistryChanges {
 public:
  RegistryChanges() = default;
  ~RegistryChanges();
  RegistryChanges(const RegistryChanges&) = delete;
  RegistryChanges& operator=(const RegistryChanges&) = delete;

  // `view` is 0, KEY_WOW64_32KEY or KEY_WOW64_64KEY; an empty `name` is the
  // key's default value. Missing keys are created. False when it fails.
  bool Set(HKEY root, REGSAM view, const std::wstring& subKey, const std::wstring& name, DWORD type,
           const std::vector<BYTE>& data);

  // Set() with `text` and its terminator as `type` (REG_SZ or REG_EXPAND_SZ).
  bool SetText(HKEY root, REGSAM view, const std::wstring& subKey, const std::wstring& name, const std::wstring& text,
               DWORD type = REG_SZ);

  // Removes the value if there is one. False when it is still there.
  bool Remove(HKEY root, REGSAM view, const std::wstring& subKey, const std::wstring& name);

  // Points the user's roaming application-data folder, as the shell reports
  // it, at `folder` through the "AppData" value under HKCU\...\Explorer\User
  // Shell Folders. `folder` must exist: the shell reports no folder
  // otherwise. The value is prefix-wide: test programs that use this carry
  // RESOURCE_LOCK shell_folders. The launcher code in this process sees the
  // new folder, and the old one again once this object goes.
  bool RedirectAppData(const std::wstring& folder);

  // HKLM\SOFTWARE\<product> value "Path" in `view` (KEY_WOW64_64KEY or
  // KEY_WOW64_32KEY). The key is prefix-wide: test programs that use this
  // carry RESOURCE_LOCK varopic_install_key.
  bool SetInstallPath(const std::wstring& product, const std::wstring& path, REGSAM view);

 private:
  struct Change {
    HKEY root = nullptr;
    REGSAM view = 0;
    std::wstring subKey;
    std::wstring name;
    bool hadValue = false;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    std::vector<std::wstring> createdKeys;  // outermost first
  };

  Change Record(HKEY root, REGSAM view, const std::wstring& subKey, const std::wstring& name) const;
  static void Undo(const Change& change);

  std::vector<Change> changes_;
  bool redirectedAppData_ = false;
};
