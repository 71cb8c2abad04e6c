// The launcher host's door to the signer policy: verifying and loading
// modules, the failure notice, and releasing the verifier when the
// application has ended.
#pragma once

#include <string>

#include "platform/win.h"

class SignerService {
 public:
  // The process-wide service. Whenever the cache file has not been handed to
  // the verifier since start-up or the last Release, hands it over (nothing
  // when the product folder does not exist).
  static SignerService& Instance();

  // Whether the verifier trusts the file at `path`.
  bool VerifyModule(const wchar_t* path);

  // Loads a trusted module with its own folder searched first for its
  // dependencies. The file is held open from the check to the load and what
  // gets loaded must be that very file. Null, silently, for a missing path, a
  // directory or a failing load; null after the failure notice for a refused
  // file, one that cannot be held open, or one swapped under its name.
  HMODULE LoadVerifiedLibrary(const wchar_t* path);

  // Loads a compiler run-time library shipped beside the launcher when it is
  // genuine (SignerVerifier::IsGenuineRuntimeLibrary), with the same guard
  // against swaps. Null, silently, otherwise.
  HMODULE LoadRuntimeLibrary(const std::wstring& path);

  bool HasCallerModule();

  // Registers the module whose publisher counts as the launcher's own.
  bool SetCallerModule(HMODULE module);

  // Shows the failure notice for `path` with the product's texts.
  bool ShowFailureNotice(const wchar_t* path);

  // Releases the verifier; the next Instance() hands the cache file over
  // again.
  void Release();

  SignerService(const SignerService&) = delete;
  SignerService& operator=(const SignerService&) = delete;

 private:
  SignerService() = default;

  HMODULE callerModule_ = nullptr;
  bool cacheFileApplied_ = false;
};
