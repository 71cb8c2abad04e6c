#include "signer/signer_service.h"

#include <string>

#include "locations/file_system.h"
#include "locations/product_paths.h"
#include "signer/product_texts.h"
#include "signer/signer_startup.h"
#include "signer/signer_verifier.h"

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
  // The file checked must be the file loaded: while this handle is open no
  // other process can write, replace or delete it. If it cannot be opened,
  // the check and load go on as before.
  {
    const platform::UniqueFileHandle pinned = FileSystem::OpenForRead(path);
    if (SignerVerifier::Instance().IsTrusted(path)) {
      return ::LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
  }
  ShowFailureNotice(path);
  return nullptr;
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
