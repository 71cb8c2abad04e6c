#include "signer/signer_service.h"

#include <string>

#include "locations/file_system.h"
#include "locations/pinned_file.h"
#include "locations/product_paths.h"
#include "platform/unique_handle.h"
#include "signer/product_texts.h"
#include "signer/signer_startup.h"
#include "signer/signer_verifier.h"

namespace {

struct PinnedLoad {
  HMODULE module = nullptr;
  // The file was not let in, as opposed to trusted but failing to load.
  bool refused = false;
};

// Checks and loads the same file: it is held open from the check to the
// load, judged through that handle, loaded by the path the handle has now
// (every link resolved), and kept only if what got loaded is that very file.
// A file that cannot be held open is refused rather than checked unguarded.
template <typename IsTrusted>
PinnedLoad LoadPinned(const std::wstring& path, IsTrusted isTrusted) {
  const PinnedFile pinned = PinnedFile::Open(path);
  if (!pinned.IsValid() || !isTrusted(pinned.Get())) return {nullptr, true};
  const std::wstring finalPath = pinned.FinalPath();
  if (finalPath.empty()) return {nullptr, true};
  platform::UniqueModule module(::LoadLibraryExW(finalPath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
  if (!module) return {};
  if (!pinned.IsFileOf(module.Get())) return {nullptr, true};
  return {module.Release(), false};
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

bool SignerService::VerifyModule(const wchar_t* path) { return SignerVerifier::Instance().IsTrusted(path); }

HMODULE SignerService::LoadVerifiedLibrary(const wchar_t* path) {
  if (path == nullptr) return nullptr;
  const DWORD attributes = ::GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return nullptr;
  const PinnedLoad load = LoadPinned(path, [path](HANDLE pinned) {
    return SignerVerifier::Instance().DecidePinned(path, pinned).trusted;
  });
  if (load.refused) ShowFailureNotice(path);
  return load.module;
}

HMODULE SignerService::LoadRuntimeLibrary(const std::wstring& path) {
  if (!FileSystem::IsFile(path)) return nullptr;
  return LoadPinned(path, [&path](HANDLE pinned) {
    return SignerVerifier::Instance().IsGenuineRuntimeLibrary(path, pinned);
  }).module;
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
