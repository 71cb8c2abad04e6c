#include "host/app_module_host.h"

#include <utility>
#include <vector>

#include "host/companion_libraries.h"
#include "host/launch_steps.h"
#include "locations/product_paths.h"
#include "locations/product_user.h"
#include "platform/file_system.h"
#include "platform/path_text.h"
#include "platform/scope_exit.h"
#include "signer/signer_service.h"
#include "signer/signer_verifier.h"

namespace {

void RegisterCallerModule(SignerService& service, HMODULE launcherInstance) {
  if (!service.HasCallerModule()) service.SetCallerModule(launcherInstance);
}

TrustDecision DecideByPolicy(const std::wstring& path, HANDLE file) {
  return SignerVerifier::Instance().DecidePinned(path, file);
}

bool IsLoaded(const std::wstring& name) { return ::GetModuleHandleW(name.c_str()) != nullptr; }

}  // namespace

AppModuleHost::AppModuleHost(std::wstring appModuleFileName, std::string entryExport)
    : appModuleFileName_(std::move(appModuleFileName)), entryExport_(std::move(entryExport)) {}

HMODULE AppModuleHost::Load(HMODULE launcherInstance) {
  if (tornDown_) return nullptr;
  auto guard = lock_.Lock();
  if (appModule_) return appModule_.Get();

  SignerService& service = SignerService::Instance();
  RegisterCallerModule(service, launcherInstance);
  // The run-time libraries first: a pending version is judged, as the
  // launch then judges it, with them loaded.
  PreloadRuntimeLibraries();
  const std::string& entryExport = entryExport_;
  lastHandover_ = RunUpgradeHandover(appModuleFileName_, [this, &entryExport](const std::wstring& folder) {
    return WhyVersionWouldNotStart(folder, appModuleFileName_, entryExport, DecideByPolicy, IsLoaded);
  });

  // The companions and the module are held from here on and their
  // signatures checked at once; each is still decided in its turn. They are
  // the user's files: as the system account, a link the user planted must
  // not open anything on the system's rights.
  ProductPaths::ApplicationDirectoryChoice choice;
  std::vector<PinnedFile> companions;
  std::wstring modulePath;
  bool moduleThere = false;
  PinnedFile module;
  const auto holdFiles = [&] {
    choice = ChooseLaunchApplicationDirectory(ProductPaths::LauncherDirectory());
    companions = HoldCompanions(choice.folder);
    modulePath = PathText::Join(choice.folder, appModuleFileName_);
    moduleThere = FileSystem::IsFile(modulePath);
    if (moduleThere) module = PinnedFile::Open(modulePath);
  };
  // Nobody to impersonate: no user's folder is found either, only the
  // machine's install path or the launcher's own folder.
  if (!RunAsProductUser(holdFiles)) holdFiles();
  std::vector<const PinnedFile*> ahead = {&module};
  for (const PinnedFile& companion : companions) ahead.push_back(&companion);
  service.VerifyAhead(ahead);
  // However the load ends, its files' verdicts made ahead go with it.
  const platform::ScopeExit dropAhead([&service] { service.DropAheadChecks(); });

  lastLoad_ = VerifyHeldCompanions(std::move(companions));
  if (lastLoad_.outcome == ModuleLoad::Outcome::Refused) return nullptr;
  // A missing module, or a folder in its place, is nothing to tell the user.
  if (!moduleThere) {
    lastLoad_ = MissingModule(choice, modulePath);
    return nullptr;
  }
  lastLoad_ = service.LoadPlannedModule(service.PlanApplicationModule(std::move(module), entryExport_));
  appModule_.Reset(lastLoad_.module);
  return appModule_.Get();
}

void AppModuleHost::PreloadRuntimeLibraries() {
  // Loaded from the launcher's own folder so that the application module
  // binds to the copies shipped with it rather than any others on the path;
  // but only genuine copies, since anyone can put a library of that name
  // beside a copy of the launcher, and its start-up code would run in a
  // signed process.
  const std::wstring folder = ProductPaths::LauncherDirectory();
  if (folder.empty()) return;
  SignerService& service = SignerService::Instance();
  runtimeModule_.Reset(service.LoadRuntimeLibrary(PathText::Join(folder, kRuntimeLibraryNames[0])));
  cppRuntimeModule_.Reset(service.LoadRuntimeLibrary(PathText::Join(folder, kRuntimeLibraryNames[1])));
}

bool AppModuleHost::VerifyCompanionLibraries(HMODULE launcherInstance, const std::wstring& applicationDirectory) {
  RegisterCallerModule(SignerService::Instance(), launcherInstance);
  return VerifyHeldCompanions(HoldCompanions(applicationDirectory)).outcome != ModuleLoad::Outcome::Refused;
}

ModuleLoad AppModuleHost::VerifyHeldCompanions(std::vector<PinnedFile> companions) {
  SignerService& service = SignerService::Instance();
  // The service holds each companion it trusts for the life of the process.
  const ModuleLoad result = DecideCompanions(
      companions, [&service](PinnedFile& companion) { return service.VerifyHeldModule(std::move(companion)); },
      nullptr);
  if (result.outcome == ModuleLoad::Outcome::Refused) service.ShowFailureNotice(result.file.c_str());
  return result;
}

void AppModuleHost::Teardown() {
  auto guard = lock_.Lock();
  if (tornDown_) return;
  tornDown_ = true;
  if (appModule_) {
    appModule_.Reset();
    SignerService::Instance().Release();
    runtimeModule_.Reset();
    cppRuntimeModule_.Reset();
  } else {
    // Without an application module the run-time libraries stay loaded
    // until the process ends.
    runtimeModule_.Release();
    cppRuntimeModule_.Release();
  }
}
