// Gets the application module into the launcher's process and out again:
// upgrade hand-over, run-time preload, signer checks of the companion
// libraries and of the module itself, load, and teardown in order.
#pragma once

#include <string>
#include <vector>

#include "host/upgrade_handover.h"
#include "image/module_load.h"
#include "image/pinned_file.h"
#include "platform/critical_section.h"
#include "platform/unique_handle.h"
#include "platform/win.h"

class AppModuleHost {
 public:
  // `appModuleFileName` is the deliverable's application module, e.g.
  // "VaroImageApp.dll", and `entryExport` the function the launcher calls in
  // it (empty: none is asked for).
  AppModuleHost(std::wstring appModuleFileName, std::string entryExport);
  AppModuleHost(const AppModuleHost&) = delete;
  AppModuleHost& operator=(const AppModuleHost&) = delete;
  ~AppModuleHost() { Teardown(); }

  // The loaded application module, or null when it is missing, refused (the
  // failure notice has been shown), needs a library that is nowhere, lacks
  // its entry function, or fails to load. As the system account, the
  // interactive user's files (config.ini, the companions, the module) are
  // opened while impersonating that user. A second call returns the module of the first; a call after
  // Teardown returns null and does nothing.
  HMODULE Load(HMODULE launcherInstance);

  // True when every companion library present in `applicationDirectory`
  // passes the signer check; the first that fails gets the failure notice.
  // The libraries that pass are held open from their check on.
  bool VerifyCompanionLibraries(HMODULE launcherInstance, const std::wstring& applicationDirectory);

  // What the last Load found out: the module loaded, or why not.
  const ModuleLoad& LastLoad() const { return lastLoad_; }
  // What the last Load's pending-upgrade hand-over did.
  const UpgradeHandover& LastHandover() const { return lastHandover_; }

  // Frees the application module, releases the signer service, then frees
  // the run-time libraries. Safe to call more than once.
  void Teardown();

 private:
  void PreloadRuntimeLibraries();
  // Refused, naming the first that fails the signer check (which gets the
  // failure notice), or Missing (nothing yet) when every one passes.
  static ModuleLoad VerifyHeldCompanions(std::vector<PinnedFile> companions);

  std::wstring appModuleFileName_;
  std::string entryExport_;
  platform::UniqueModule appModule_;
  platform::UniqueModule runtimeModule_;
  platform::UniqueModule cppRuntimeModule_;
  platform::CriticalSection lock_;
  bool tornDown_ = false;
  ModuleLoad lastLoad_;
  UpgradeHandover lastHandover_;
};
