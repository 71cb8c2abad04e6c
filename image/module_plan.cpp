#include "image/module_plan.h"

#include <algorithm>
#include <utility>

#include "platform/library_search.h"
#include "platform/load_guard.h"
#include "platform/path_text.h"
#include "platform/unique_handle.h"

namespace {

using Outcome = ModuleLoad::Outcome;

// Loads one held file by the path its handle has now; false, with `load`
// saying why, when it cannot be loaded or what was loaded is another file.
bool LoadHeld(const PinnedFile& file, ModuleLoad& load, platform::UniqueModule& module) {
  const std::wstring path = file.LoadPath();
  load.file = file.Path();
  platform::LoadGuard::Instance().Admit(path);
  module.Reset(platform::LoadLibraryByPath(path));
  if (!module) {
    load.outcome = Outcome::LoadFailed;
    load.error = ::GetLastError();
    return false;
  }
  if (!file.IsFileOf(module.Get())) {
    load.outcome = Outcome::NotTheCheckedFile;
    return false;
  }
  return true;
}

}  // namespace

ModulePlan PlanModuleLoad(PinnedFile module, const DependencyJudge& judge, const LoadedLibraryTest& isLoaded,
                          const std::string& entryExport) {
  ModulePlan plan;
  ModuleLoad& load = plan.load;
  load.outcome = Outcome::Refused;
  load.file = module.Path();
  plan.module = std::move(module);
  const PinnedFile& pinned = plan.module;
  if (!pinned.IsValid()) {
    load.reason = L"it cannot be held open";
    return plan;
  }
  load.decision = judge(pinned.Path(), pinned.Get());
  plan.moduleDecision = load.decision;
  if (!load.decision.trusted) {
    load.reason = RefusalReason(load.decision);
    return plan;
  }
  const std::wstring loadPath = pinned.LoadPath();
  if (loadPath.empty()) {
    load.reason = L"the system cannot say where it is";
    return plan;
  }

  DependencyClosure closure = WalkDependencies(pinned, PathText::FolderPart(loadPath), judge, isLoaded);
  load.dependencies = std::move(closure.findings);
  if (closure.result != DependencyClosure::Result::Complete) {
    load.outcome = closure.result == DependencyClosure::Result::Missing ? Outcome::DependencyMissing : Outcome::Refused;
    load.file = closure.file;
    load.reason = closure.reason;
    if (!load.dependencies.empty()) load.decision = load.dependencies.back().decision;
    return plan;
  }
  const std::vector<std::string>& exported = closure.moduleExports;
  if (!entryExport.empty() && std::find(exported.begin(), exported.end(), entryExport) == exported.end()) {
    load.outcome = Outcome::NoEntryFunction;
    load.reason = std::wstring(entryExport.begin(), entryExport.end());
    return plan;
  }
  load.outcome = Outcome::Loaded;
  plan.libraries = std::move(closure.held);
  return plan;
}

ModuleLoad CarryOutModulePlan(const ModulePlan& plan) {
  ModuleLoad load = plan.load;
  if (load.outcome != Outcome::Loaded) return load;
  for (const PinnedFile& library : plan.libraries) {
    platform::UniqueModule loaded;
    if (!LoadHeld(library, load, loaded)) return load;
    // Bound to by the module from here on, until the process ends.
    loaded.Release();
  }
  platform::UniqueModule module;
  if (!LoadHeld(plan.module, load, module)) return load;
  load.file = plan.module.Path();
  load.module = module.Release();
  return load;
}
