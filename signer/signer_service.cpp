#include "signer/signer_service.h"

#include "locations/product_paths.h"
#include "platform/file_system.h"
#include "platform/path_text.h"
#include "platform/unique_handle.h"
#include "signer/product_texts.h"
#include "signer/signer_startup.h"
#include "signer/signer_verifier.h"

namespace {

bool IsLoaded(const std::wstring& name) { return ::GetModuleHandleW(name.c_str()) != nullptr; }

TrustDecision DecideByPolicy(const std::wstring& file, HANDLE pinned) {
  return SignerVerifier::Instance().DecidePinned(file, pinned);
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
  std::vector<HeldFile> held;
  for (const PinnedFile* file : files) {
    if (file->IsValid()) held.push_back({file->Path(), file->Get()});
  }
  SignerVerifier::Instance().VerifyAhead(held);
}

void SignerService::DropAheadChecks() { SignerVerifier::Instance().DropAheadChecks(); }

ModulePlan SignerService::PlanApplicationModule(PinnedFile module, const std::string& entryExport) {
  return PlanModuleLoad(std::move(module), DecideByPolicy, IsLoaded, entryExport);
}

ModuleLoad SignerService::LoadApplicationModule(const std::wstring& path) {
  if (!FileSystem::IsFile(path)) return {};
  return LoadPlannedModule(PlanApplicationModule(PinnedFile::Open(path), {}));
}

ModuleLoad SignerService::LoadPlannedModule(ModulePlan plan) {
  ModuleLoad load = CarryOutModulePlan(plan);
  if (load.outcome == ModuleLoad::Outcome::Loaded) HoldPlan(std::move(plan));
  if (load.outcome == ModuleLoad::Outcome::Refused || load.outcome == ModuleLoad::Outcome::NotTheCheckedFile) {
    ShowFailureNotice(load.file.c_str());
  }
  return load;
}

HMODULE SignerService::LoadVerifiedLibrary(const wchar_t* path) {
  return path == nullptr ? nullptr : LoadApplicationModule(path).module;
}

HMODULE SignerService::LoadRuntimeLibrary(const std::wstring& path) {
  if (!FileSystem::IsFile(path)) return nullptr;
  ModulePlan plan = PlanModuleLoad(PinnedFile::Open(path), DecideRuntimeLibrary, IsLoaded, {});
  const ModuleLoad load = CarryOutModulePlan(plan);
  if (load.outcome == ModuleLoad::Outcome::Loaded) HoldPlan(std::move(plan));
  return load.module;
}

TrustDecision SignerService::DecideRuntimeLibrary(const std::wstring& path, HANDLE pinned) {
  TrustDecision decision;
  decision.trusted = SignerVerifier::Instance().IsGenuineRuntimeLibrary(path, pinned);
  return decision;
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

void SignerService::HoldPlan(ModulePlan plan) {
  for (PinnedFile& library : plan.libraries) Hold(std::move(library));
  Hold(std::move(plan.module));
}
