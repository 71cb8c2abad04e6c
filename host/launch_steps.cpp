#include "host/launch_steps.h"

#include <utility>

#include "host/companion_libraries.h"
#include "image/module_plan.h"
#include "locations/product_layout.h"
#include "platform/file_system.h"
#include "platform/path_text.h"

ProductPaths::ApplicationDirectoryChoice ChooseLaunchApplicationDirectory(const std::wstring& launcherDirectory) {
  return ProductPaths::ChooseApplicationDirectory(product_layout::kProductFolder, product_layout::kConfigFile,
                                                  product_layout::kUpgradeSection, product_layout::kVersionKey,
                                                  launcherDirectory);
}

std::vector<PinnedFile> HoldCompanions(const std::wstring& applicationDirectory) {
  std::vector<PinnedFile> held;
  for (const std::wstring& name : CompanionLibraryNames()) {
    const std::wstring path = PathText::Join(applicationDirectory, name);
    // An absent companion is no failure: the application copes without it.
    if (FileSystem::IsFile(path)) held.push_back(PinnedFile::Open(path));
  }
  return held;
}

ModuleLoad DecideCompanions(std::vector<PinnedFile>& companions, const CompanionJudge& judge,
                            std::vector<CompanionDecision>* decided) {
  ModuleLoad result;
  for (PinnedFile& companion : companions) {
    // Taken before the judge, which may take the file.
    const std::wstring path = companion.Path();
    const bool held = companion.IsValid();
    result.decision = judge(companion);
    if (decided != nullptr) decided->push_back({path, held, result.decision});
    if (!result.decision.trusted) {
      result.outcome = ModuleLoad::Outcome::Refused;
      result.file = path;
      result.reason = held ? RefusalReason(result.decision) : L"it cannot be held open";
      return result;
    }
  }
  return result;
}

std::wstring WhyVersionWouldNotStart(const std::wstring& folder, const std::wstring& appModuleFileName,
                                     const std::string& entryExport, const DependencyJudge& judge,
                                     const LoadedLibraryTest& isLoaded) {
  std::vector<PinnedFile> companions = HoldCompanions(folder);
  ModuleLoad load = DecideCompanions(
      companions,
      [&judge](PinnedFile& companion) {
        return companion.IsValid() ? judge(companion.Path(), companion.Get()) : TrustDecision();
      },
      nullptr);
  if (load.outcome != ModuleLoad::Outcome::Refused) {
    load = PlanModuleLoad(PinnedFile::Open(PathText::Join(folder, appModuleFileName)), judge, isLoaded, entryExport)
               .load;
  }
  switch (load.outcome) {
    case ModuleLoad::Outcome::Loaded: return {};
    case ModuleLoad::Outcome::DependencyMissing: return L"the module needs " + load.file + L", which is nowhere";
    case ModuleLoad::Outcome::NoEntryFunction: return load.file + L" exports no " + load.reason;
    default: break;
  }
  return load.file + L": " + load.reason;
}

ModuleLoad MissingModule(const ProductPaths::ApplicationDirectoryChoice& choice, const std::wstring& modulePath) {
  ModuleLoad result;
  result.outcome = choice.source == ProductPaths::ApplicationDirectoryChoice::Source::None
                       ? ModuleLoad::Outcome::NoApplicationFolder
                       : ModuleLoad::Outcome::Missing;
  result.file = modulePath;
  // Which folder the module was looked for in, and why that one: a module
  // missing beside the launcher says nothing of a config.ini that named no
  // version folder.
  using Source = ProductPaths::ApplicationDirectoryChoice::Source;
  switch (choice.source) {
    case Source::ConfiguredVersion: break;
    case Source::InstallPath:
      result.reason = L"config.ini names no version folder; the install path recorded in the registry was taken";
      break;
    case Source::LauncherFolder:
      result.reason = L"config.ini names no version folder and no install path is recorded; the launcher's own "
                      L"folder was taken";
      break;
    case Source::None:
      result.reason = L"config.ini names no version folder, no install path is recorded, and the launcher has no "
                      L"folder";
      break;
  }
  return result;
}
