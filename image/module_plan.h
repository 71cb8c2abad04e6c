// Loading a module in two steps: a decide step that reads, holds and judges
// every file the load would bring in and says how the load would end,
// without running anything of them; and an act step that loads exactly
// those files by their held paths. A launch takes both steps, a replay for
// support only the first, so the replay foresees what the launch does.
#pragma once

#include <string>
#include <vector>

#include "image/dependency_closure.h"
#include "image/module_load.h"
#include "image/pinned_file.h"

struct ModulePlan {
  // Loaded (without a module) when the act step may load it; else how the
  // load ends, and why.
  ModuleLoad load;
  PinnedFile module;
  // The signer policy's answer for the module itself.
  TrustDecision moduleDecision;
  // The module's product libraries, in load order.
  std::vector<PinnedFile> libraries;
};

// Decides the load of the module held in `module`: its own decision, its
// closure (see WalkDependencies, in the folder the module's handle names),
// and, with a non-empty `entryExport`, whether the module exports that
// function. An invalid file is refused.
ModulePlan PlanModuleLoad(PinnedFile module, const DependencyJudge& judge, const LoadedLibraryTest& isLoaded,
                          const std::string& entryExport);

// Carries out a plan whose outcome is Loaded: admits each file to the load
// guard, loads the libraries and then the module by their held paths, and
// compares each image loaded with its held file. The result names the module
// when it loaded; else the file that failed and how. The libraries stay
// loaded for the life of the process; a module that is not its checked file
// is freed again.
ModuleLoad CarryOutModulePlan(const ModulePlan& plan);
