// A launch replayed without loading, changing or showing anything, for the
// people who support the product: what AppModuleHost::Load would decide now,
// step by step, and how it would end. Every decision comes from the launch's
// own code (the hand-over's preview, launch_steps.h, the signer policy and
// the import walk); only the load itself, which runs the module's code, is
// left out, so a load that the system would then fail cannot be foreseen.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/launch_steps.h"
#include "host/upgrade_handover.h"
#include "image/module_load.h"
#include "locations/product_paths.h"

struct RuntimeLibraryReplay {
  std::wstring path;
  // Missing: absent; Loaded: would be preloaded; Refused or
  // DependencyMissing: left out, silently, as a launch leaves it. `decision`
  // is the signer policy's answer, with `trusted` saying whether the library
  // is genuine: a trusted decision whose rule is Refused admits it only as
  // the run-time maker's.
  ModuleLoad load;
};

struct LaunchReplay {
  UpgradeHandover handover;  // the preview: what it would do now
  // The version "config.ini" names now; nothing when it names none.
  std::optional<std::wstring> configuredVersion;
  // Chosen after the hand-over, as a launch chooses it.
  ProductPaths::ApplicationDirectoryChoice applicationDirectory;
  // Beside the launcher, in preload order; empty without a launcher folder.
  std::vector<RuntimeLibraryReplay> runtimeLibraries;
  // The companions present, in check order, up to the first refused one.
  std::vector<CompanionDecision> companions;
  // The module's own decision, once the companions passed and it is there.
  std::optional<CompanionDecision> module;
  // How the launch would end: Loaded when it would load the module (and go
  // on to its entry), else why not (a module without its entry function
  // among them), with the closure's findings.
  ModuleLoad outcome;
};

// Replays the Load of the launcher at `launcherPath` (empty: none, so nothing
// is preloaded and no launcher folder is a choice), whose application module
// is `appModuleFileName` with the entry function `entryExport`, for the user
// whose roaming folder is `dataRoot`. The module's load is decided by the
// launch's own decide step (PlanModuleLoad), so every file its closure would
// load is listed with where it would come from.
// Files are judged by SignerVerifier::Instance() as the caller has set it up
// (its reference publisher and cache file); nothing is held beyond the call.
//
// Which libraries count as loaded already when the module's imports are
// walked: those the launcher file imports, the run-time libraries it would
// preload, and the system-folder libraries loaded in this process, which
// stand for those a launcher has bound by then (this process has made the
// same checks with the same code).
LaunchReplay ReplayLaunch(const std::wstring& appModuleFileName, const std::string& entryExport,
                          const std::wstring& launcherPath, const std::wstring& dataRoot);
