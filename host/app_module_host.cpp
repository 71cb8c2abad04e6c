#include "host/app_module_host.h"

#include <utility>
#include <vector>

#include "host/companion_libraries.h"
#include "host/launch_steps.h"
#include "locations/file_system.h"
#include "locations/path_text.h"
#include "locations/product_paths.h"
#include "signer/signer_service.h"

namespace {

void RegisterCallerModule(SignerService& service, HMODULE launcherInstance) {
  if (!service.HasCallerModule()) service.SetCallerModule(launcherInstance);
}

}  // namespace

AppModuleHost::AppModuleHost(std::wstring appModuleFileName) : appModuleFileName_(std::move(appModuleFileName)) {}

HMODULE AppModuleHost::Load(HMODULE launcherInstance) {
  if (tornDown_) return nullptr;
  lastHandover_ = RunUpgradeHandover(appModuleFileName_);
  auto guard = lock_.Lock();
  if (appModule_) return appModule_.Get();

  PreloadRuntimeLibraries();
  const ProductPaths::ApplicationDirectoryChoice choice =
      ChooseLaunchApplicationDirectory(ProductPaths::LauncherDirectory());
  const std::wstring& applicationDirectory = choice.folder;
  SignerService& service = SignerService::Instance();
  RegisterCallerModule(service, launcherInstance);

  // The companions and the module are held from here on and their
  // signatures checked at once; each is still decided in its turn.
  std::vector<PinnedFile> companions = HoldCompanions(applicationDirectory);
  const std::wstring modulePath = PathText::Join(applicationDirectory, appModuleFileName_);
  const bool moduleThere = FileSystem::IsFile(modulePath);
  PinnedFile module = moduleThere ? PinnedFile::Open(modulePath) : PinnedFile();
  std::vector<const PinnedFile*> ahead = {&module};
  for (const PinnedFile& companion : companions) ahead.push_back(&companion);
  service.VerifyAhead(ahead);

  lastLoad_ = VerifyHeldCompanions(std::move(companions));
  if (lastLoad_.outcome == ModuleLoad::Outcome::Refused) return nullptr;
  // A missing module, or a folder in its place, is nothing to tell the user.
  if (!moduleThere) {
    lastLoad_ = MissingModule(choice, modulePath);
    return nullptr;
  }
  lastLoad_ = service.LoadHeldApplicationModule(std::move(module));
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
