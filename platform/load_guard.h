// The backstop behind loading product files by their held paths: while it is
// armed, every image the loader maps into the process must be a product file
// that was checked and admitted, or lie in a folder that only administrators
// can write on a standard installation (the system and Windows folders and
// the Program Files folders). Anything else (a file of the user's profile, a
// temporary or current folder, a launcher folder elsewhere, a removable or
// network drive) ends the process before the image's code runs. Security
// products and input methods inject their libraries from the admitted
// folders, so they pass; a library that a check missed does not.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "platform/critical_section.h"
#include "platform/win.h"

namespace platform {

class LoadGuard {
 public:
  // Told the full path of the image that stops the process, under the
  // loader's lock: it must not load anything itself.
  using StopReport = void (*)(const std::wstring& image);

  static LoadGuard& Instance();

  // From now on, every image mapped must be allowed (see Allows) or the
  // process ends with exit code 0 after `report`. False where the system has
  // no load notification (Windows before Vista): nothing is guarded then.
  bool Arm(StopReport report);

  // Stops guarding: the application's own loads are its business.
  void Disarm();

  // Lets the checked product file at `path` be mapped: the exact path the
  // file is then loaded by.
  void Admit(const std::wstring& path);

  // Whether the image at the full path `path` may be mapped: an admitted
  // file, or one inside an administrators' folder. Paths that leave a folder
  // through "..", or that cannot be made whole, are not.
  bool Allows(const std::wstring& path);

  LoadGuard(const LoadGuard&) = delete;
  LoadGuard& operator=(const LoadGuard&) = delete;

 private:
  LoadGuard();

  static void CALLBACK OnNotification(ULONG reason, const void* data, void* context);

  // Asked once: the answers come from the machine's own settings, which the
  // user cannot change (unlike the environment's %ProgramFiles%).
  std::vector<std::wstring> administratorFolders_;
  CriticalSection lock_;
  std::vector<std::wstring> admitted_;
  std::atomic<StopReport> report_ = nullptr;
  void* cookie_ = nullptr;
};

}  // namespace platform
