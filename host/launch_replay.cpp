#include "host/launch_replay.h"

#include <utility>

#include "host/companion_libraries.h"
#include "image/module_plan.h"
#include "image/pe_image.h"
#include "ini_and_log/profile_file.h"
#include "locations/product_layout.h"
#include "platform/ascii_fold.h"
#include "platform/file_system.h"
#include "platform/module_file_name.h"
#include "platform/path_text.h"
#include "platform/system_library.h"
#include "signer/signer_verifier.h"

namespace {

using Outcome = ModuleLoad::Outcome;

bool LoadedFromSystemFolder(const std::wstring& name) {
  const HMODULE module = ::GetModuleHandleW(name.c_str());
  const std::wstring& system = platform::SystemDirectory();
  if (module == nullptr || system.empty()) return false;
  const std::wstring folder = PathText::FolderPart(platform::ModuleFileName(module));
  return platform::FoldAscii(folder) == platform::FoldAscii(system + L"\\");
}

// The libraries a launcher has loaded by the time it walks its module's
// imports (see ReplayLaunch).
class LauncherLibraries {
 public:
  explicit LauncherLibraries(const std::wstring& launcherPath) {
    const PinnedFile launcher = launcherPath.empty() ? PinnedFile() : PinnedFile::Open(launcherPath);
    std::vector<std::wstring> imports;
    if (launcher.IsValid() && pe_image::ReadImportedLibraries(launcher.Get(), imports)) {
      for (const std::wstring& name : imports) Add(name);
    }
  }

  void Add(const std::wstring& name) { folded_.push_back(platform::FoldAscii(name)); }

  bool IsLoaded(const std::wstring& name) const {
    const std::wstring folded = platform::FoldAscii(name);
    for (const std::wstring& known : folded_) {
      if (known == folded) return true;
    }
    return LoadedFromSystemFolder(name);
  }

 private:
  std::vector<std::wstring> folded_;
};

TrustDecision Decide(const std::wstring& path, HANDLE file) {
  return SignerVerifier::Instance().DecidePinned(path, file);
}

// A run-time library is let in when it is genuine; the policy's own answer
// says by which rule, or that only the run-time maker's signature did.
TrustDecision DecideRuntimeLibrary(const std::wstring& path, HANDLE file) {
  SignerVerifier& verifier = SignerVerifier::Instance();
  // Asked first, as the launch asks it: the policy looks at a refusal from
  // the cache afresh, after which the cache no longer answers as it did.
  const bool genuine = verifier.IsGenuineRuntimeLibrary(path, file);
  TrustDecision decision = verifier.DecidePinned(path, file);
  decision.trusted = genuine;
  if (!genuine) {
    decision.rule = TrustRule::Refused;
    decision.allowedRow = 0;
  }
  return decision;
}

// The decide step of a load, and the file's own decision.
ModuleLoad ReplayLoad(PinnedFile pinned, const DependencyJudge& judge, const LauncherLibraries& loaded,
                      const std::string& entryExport, TrustDecision* own) {
  const ModulePlan plan = PlanModuleLoad(
      std::move(pinned), judge, [&loaded](const std::wstring& name) { return loaded.IsLoaded(name); }, entryExport);
  if (own != nullptr) *own = plan.moduleDecision;
  return plan.load;
}

}  // namespace

LaunchReplay ReplayLaunch(const std::wstring& appModuleFileName, const std::string& entryExport,
                          const std::wstring& launcherPath, const std::wstring& dataRoot) {
  LaunchReplay replay;
  std::wstring configured;
  if (!dataRoot.empty() && ReadProfileString(ProductPaths::ProductDataDirectory(dataRoot) + product_layout::kConfigFile,
                                             product_layout::kUpgradeSection, product_layout::kVersionKey,
                                             configured)) {
    replay.configuredVersion = configured;
  }

  const std::wstring launcherDirectory = PathText::FolderPart(launcherPath);
  LauncherLibraries loaded(launcherPath);
  if (!launcherDirectory.empty()) {
    for (const wchar_t* name : kRuntimeLibraryNames) {
      RuntimeLibraryReplay& library = replay.runtimeLibraries.emplace_back();
      library.path = PathText::Join(launcherDirectory, name);
      library.load.file = library.path;
      if (!FileSystem::IsFile(library.path)) continue;
      library.load = ReplayLoad(PinnedFile::Open(library.path), DecideRuntimeLibrary, loaded, {}, nullptr);
      if (library.load.outcome == Outcome::Loaded) loaded.Add(name);
    }
  }
  replay.handover = PreviewUpgradeHandover(appModuleFileName, dataRoot, [&](const std::wstring& folder) {
    return WhyVersionWouldNotStart(folder, appModuleFileName, entryExport, Decide,
                                   [&loaded](const std::wstring& name) { return loaded.IsLoaded(name); });
  });

  if (replay.handover.outcome == UpgradeHandover::Outcome::HandedOver) {
    // The version the hand-over would write, whose folder it found with the
    // module in it: the folder the launch would then choose from config.ini.
    replay.applicationDirectory = {ProductPaths::ApplicationRoot(dataRoot) + replay.handover.version + L"\\",
                                   ProductPaths::ApplicationDirectoryChoice::Source::ConfiguredVersion};
  } else {
    replay.applicationDirectory = ChooseLaunchApplicationDirectory(launcherDirectory);
  }
  const std::wstring& folder = replay.applicationDirectory.folder;

  std::vector<PinnedFile> companions = HoldCompanions(folder);
  replay.outcome = DecideCompanions(
      companions,
      [](PinnedFile& companion) {
        return companion.IsValid() ? Decide(companion.Path(), companion.Get()) : TrustDecision();
      },
      &replay.companions);
  if (replay.outcome.outcome == Outcome::Refused) return replay;

  const std::wstring modulePath = PathText::Join(folder, appModuleFileName);
  if (!FileSystem::IsFile(modulePath)) {
    replay.outcome = MissingModule(replay.applicationDirectory, modulePath);
    return replay;
  }
  PinnedFile module = PinnedFile::Open(modulePath);
  const bool held = module.IsValid();
  TrustDecision own;
  replay.outcome = ReplayLoad(std::move(module), Decide, loaded, entryExport, &own);
  replay.module = CompanionDecision{modulePath, held, own};
  return replay;
}
