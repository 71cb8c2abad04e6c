// Points the user's roaming application-data folder, as the shell reports it,
// at a folder of the test's own, through the "AppData" value under
// HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders,
// and puts the previous value back at the end. The value is prefix-wide:
// test programs that use this carry RESOURCE_LOCK shell_folders.
#pragma once

#include <string>
#include <vector>

#include "platform/win.h"

class AppDataRedirection {
 public:
  // `folder` must exist: the shell reports no folder otherwise.
  explicit AppDataRedirection(const std::wstring& folder);
  ~AppDataRedirection();
  AppDataRedirection(const AppDataRedirection&) = delete;
  AppDataRedirection& operator=(const AppDataRedirection&) = delete;

 private:
  bool hadValue_ = false;
  DWORD previousType_ = REG_EXPAND_SZ;
  std::vector<BYTE> previous_;
};
