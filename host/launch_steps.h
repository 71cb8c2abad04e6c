// The decisions of AppModuleHost::Load that its replay (launch_replay.h)
// makes too, written once so that what the replay foresees is what a launch
// does.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "image/dependency_closure.h"
#include "image/module_load.h"
#include "image/pinned_file.h"
#include "locations/product_paths.h"
#include "platform/trust_decision.h"

// The product's application folder for a launcher whose own folder is
// `launcherDirectory`: the version "config.ini" names, the install path, or
// that folder (see ProductPaths::ChooseApplicationDirectory).
ProductPaths::ApplicationDirectoryChoice ChooseLaunchApplicationDirectory(const std::wstring& launcherDirectory);

// The companion libraries present in `applicationDirectory`, in check order,
// each held (or, when it cannot be held, standing for its path).
std::vector<PinnedFile> HoldCompanions(const std::wstring& applicationDirectory);

struct CompanionDecision {
  std::wstring path;
  bool held = false;
  TrustDecision decision;
};

// Decides one companion; it may take the file from the caller (to hold it
// for the life of the process). An invalid file is to be refused.
using CompanionJudge = std::function<TrustDecision(PinnedFile& companion)>;

// Judges `companions` in order until one is refused: Refused, naming it and
// why, or Missing (nothing decided against) when every one passes. With
// `decided`, each decision made is appended there.
ModuleLoad DecideCompanions(std::vector<PinnedFile>& companions, const CompanionJudge& judge,
                            std::vector<CompanionDecision>* decided);

// Why a version whose folder is `folder` would not start, in a few words
// naming the file: a companion refused, or the module refused, missing a
// library or its entry function `entryExport` (the launch's own decide step,
// with `judge` and `isLoaded`). Empty when it would start. Nothing is loaded.
std::wstring WhyVersionWouldNotStart(const std::wstring& folder, const std::wstring& appModuleFileName,
                                     const std::string& entryExport, const DependencyJudge& judge,
                                     const LoadedLibraryTest& isLoaded);

// How a launch ends that finds no module file at `modulePath` in the folder
// of `choice`: nothing to tell the user, and no folder at all is told apart;
// the reason says which fallback gave the folder when config.ini named none.
ModuleLoad MissingModule(const ProductPaths::ApplicationDirectoryChoice& choice, const std::wstring& modulePath);
