#include "signer/signer_service.h"

#include "locations/file_system.h"
#include "locations/path_text.h"
#include "locations/product_paths.h"
#include "platform/library_search.h"
#include "platform/unique_handle.h"
#include "signer/product_texts.h"
#include "signer/signer_startup.h"
#include "signer/signer_verifier.h"

namespace {

bool IsLoaded(const std::wstring& name) { return ::GetModuleHandleW(name.c_str()) != nullptr; }

// The product libraries that the load brought in are the held files, not
// files that took their names meanwhile (those still to come are delayed
// loads, and the held files keep their names until then).
bool LoadedTheHeldFiles(const std::vector<PinnedFile>& held) {
  for (const PinnedFile& file : held) {
    const HMODULE loaded = ::GetModuleHandleW(PathText::NamePart(file.Path()).c_str());
    if (loaded != nullptr && !file.IsFileOf(loaded)) return false;
  }
  return true;
}

struct LoadedFiles {
  ModuleLoad load;
  std::vector<PinnedFile> held;
};

// Checks and loads the same file: it is held open from the check to the
// load, judged through that handle, loaded by the path the handle has now
// (every link resolved), and kept only if what got loaded is that very file.
// A file that cannot be held open is refused rather than checked unguarded.
// `addFolder`: the module's folder serves its delayed loads later on.
LoadedFiles LoadPinned(PinnedFile pinned, const DependencyJudge& judge, bool addFolder) {
  LoadedFiles result;
  ModuleLoad& load = result.load;
  load.outcome = ModuleLoad::Outcome::Refused;
  const std::wstring& path = pinned.Path();
  load.file = path;
  if (!pinned.IsValid()) {
    load.reason = L"it cannot be held open";
    return result;
  }
  load.decision = judge(path, pinned.Get());
  const std::wstring loadPath = load.decision.trusted ? pinned.LoadPath() : std::wstring();
  if (!load.decision.trusted) {
    load.reason = L"it is not signed by an allowed publisher";
    return result;
  }
  if (loadPath.empty()) {
    load.reason = L"the system cannot say where it is";
    return result;
  }

  const std::wstring folder = PathText::FolderPart(loadPath);
  DependencyClosure closure = WalkDependencies(pinned, folder, judge, IsLoaded);
  load.dependencies = std::move(closure.findings);
  if (closure.result != DependencyClosure::Result::Complete) {
    load.outcome = closure.result == DependencyClosure::Result::Missing ? ModuleLoad::Outcome::DependencyMissing
                                                                        : ModuleLoad::Outcome::Refused;
    load.file = closure.file;
    load.reason = closure.reason;
    if (!load.dependencies.empty()) load.decision = load.dependencies.back().decision;
    return result;
  }

  if (addFolder) platform::AddLibraryFolder(folder);
  platform::UniqueModule module(platform::LoadLibraryWithOwnFolder(loadPath));
  if (!module) {
    load.outcome = ModuleLoad::Outcome::LoadFailed;
    load.error = ::GetLastError();
    return result;
  }
  if (!pinned.IsFileOf(module.Get()) || !LoadedTheHeldFiles(closure.held)) {
    load.outcome = ModuleLoad::Outcome::NotTheCheckedFile;
    return result;
  }
  load.outcome = ModuleLoad::Outcome::Loaded;
  load.module = module.Release();
  result.held = std::move(closure.held);
  result.held.push_back(std::move(pinned));
  return result;
}

}  // namespace

SignerService& SignerService::Instance() {
  auto guard = SignerStartupLock().Lock();
  static SignerService service;
  if (!service.cacheFileApplied_) {
    service.cacheFileApplied_ = true;
    const std::wstring location = ProductPaths::SignerCacheLocation();
    if (!location.empty()) SignerVerifier::Instance().SetCacheFile(location.c_str());
  }
  return service;
}

bool SignerService::VerifyModule(const wchar_t* path) {
  if (path == nullptr || !FileSystem::IsFile(path)) return false;
  return VerifyHeldModule(PinnedFile::Open(path)).trusted;
}

TrustDecision SignerService::VerifyHeldModule(PinnedFile file) {
  if (!file.IsValid()) return {};
  TrustDecision decision = SignerVerifier::Instance().DecidePinned(file.Path(), file.Get());
  if (decision.trusted) Hold(std::move(file));
  return decision;
}

void SignerService::VerifyAhead(const std::vector<const PinnedFile*>& files) {
  std::vector<SignerVerifier::HeldFile> held;
  for (const PinnedFile* file : files) {
    if (file->IsValid()) held.push_back({file->Path(), file->Get()});
  }
  SignerVerifier::Instance().VerifyAhead(held);
}

ModuleLoad SignerService::LoadApplicationModule(const std::wstring& path) {
  if (!FileSystem::IsFile(path)) return {};
  return LoadHeldApplicationModule(PinnedFile::Open(path));
}

ModuleLoad SignerService::LoadHeldApplicationModule(PinnedFile module) {
  auto judge = [](const std::wstring& file, HANDLE pinned) {
    return SignerVerifier::Instance().DecidePinned(file, pinned);
  };
  LoadedFiles loaded = LoadPinned(std::move(module), judge, true);
  for (PinnedFile& file : loaded.held) Hold(std::move(file));
  const ModuleLoad::Outcome outcome = loaded.load.outcome;
  if (outcome == ModuleLoad::Outcome::Refused || outcome == ModuleLoad::Outcome::NotTheCheckedFile) {
    ShowFailureNotice(loaded.load.file.c_str());
  }
  return std::move(loaded.load);
}

HMODULE SignerService::LoadVerifiedLibrary(const wchar_t* path) {
  return path == nullptr ? nullptr : LoadApplicationModule(path).module;
}

HMODULE SignerService::LoadRuntimeLibrary(const std::wstring& path) {
  if (!FileSystem::IsFile(path)) return nullptr;
  auto judge = [](const std::wstring& file, HANDLE pinned) {
    TrustDecision decision;
    decision.trusted = SignerVerifier::Instance().IsGenuineRuntimeLibrary(file, pinned);
    return decision;
  };
  // The launcher's folder is no place to look for anyone else's libraries:
  // it is not added to the folders the process searches.
  LoadedFiles loaded = LoadPinned(PinnedFile::Open(path), judge, false);
  for (PinnedFile& file : loaded.held) Hold(std::move(file));
  return loaded.load.module;
}

bool SignerService::HasCallerModule() {
  auto guard = SignerStartupLock().Lock();
  return callerModule_ != nullptr;
}

bool SignerService::SetCallerModule(HMODULE module) {
  SignerVerifier::Instance().SetCallerModule(module);
  auto guard = SignerStartupLock().Lock();
  callerModule_ = module;
  return true;
}

bool SignerService::ShowFailureNotice(const wchar_t* path) {
  const std::wstring text = std::wstring(product_texts::kNoticeTextBeforeUrl) + product_texts::kHomePageUrl +
                            product_texts::kNoticeTextAfterUrl;
  SignerVerifier& verifier = SignerVerifier::Instance();
  verifier.SetNotice(product_texts::kNoticeCaption, text.c_str(), product_texts::kHomePageUrl);
  return verifier.ShowFailureNotice(path);
}

void SignerService::Release() {
  // The start-up lock comes before the verifier's lock, as everywhere.
  auto guard = SignerStartupLock().Lock();
  SignerVerifier::Instance().Release();
  callerModule_ = nullptr;
  cacheFileApplied_ = false;
}

void SignerService::Hold(PinnedFile file) {
  auto guard = heldLock_.Lock();
  heldFiles_.push_back(std::move(file));
}
