// The launcher host's door to the signer policy: verifying and loading
// modules, the failure notice, and releasing the verifier when the
// application has ended.
#pragma once

#include <string>
#include <vector>

#include "locations/pinned_file.h"
#include "platform/critical_section.h"
#include "platform/win.h"
#include "signer/module_load.h"

class SignerService {
 public:
  // The process-wide service. Whenever the cache file has not been handed to
  // the verifier since start-up or the last Release, hands it over (nothing
  // when the product folder does not exist).
  static SignerService& Instance();

  // Whether the verifier trusts the file at `path`. A trusted file is held
  // open, shared for reading only, for the life of the process, so that what
  // the application loads under that name later is still the checked file; a
  // file that cannot be held is refused.
  bool VerifyModule(const wchar_t* path);
  // The same for a file the caller holds already (invalid: refused), with
  // the policy's whole answer.
  TrustDecision VerifyHeldModule(PinnedFile file);

  // Checks the held files at once, ahead of their turns (see
  // SignerVerifier::VerifyAhead); invalid ones are left to their turns.
  void VerifyAhead(const std::vector<const PinnedFile*>& files);

  // Loads a trusted module with its own folder searched first for its
  // dependencies, and no other folder but the system's. The file is held
  // open from the check on and what gets loaded must be that very file.
  // Before the load, every library the module brings along (its import
  // closure) must be loaded already, lie in the system folder, or be a file of
  // the module's folder that the policy trusts, which is then held open too;
  // the module's folder is added to the folders the process searches, for
  // its delayed loads. The result says what happened and why; the failure
  // notice has been shown for a refused file.
  ModuleLoad LoadApplicationModule(const std::wstring& path);
  // The same for a module the caller holds already (invalid: refused).
  ModuleLoad LoadHeldApplicationModule(PinnedFile module);

  // LoadApplicationModule's module: null, silently, for a missing path, a
  // directory, a missing dependency or a failing load; null after the failure
  // notice for a refused file or one swapped under its name.
  HMODULE LoadVerifiedLibrary(const wchar_t* path);

  // Loads a compiler run-time library shipped beside the launcher when it is
  // genuine (SignerVerifier::IsGenuineRuntimeLibrary), with the same guards.
  // Null, silently, otherwise.
  HMODULE LoadRuntimeLibrary(const std::wstring& path);

  bool HasCallerModule();

  // Registers the module whose publisher counts as the launcher's own.
  bool SetCallerModule(HMODULE module);

  // Shows the failure notice for `path` with the product's texts.
  bool ShowFailureNotice(const wchar_t* path);

  // Releases the verifier; the next Instance() hands the cache file over
  // again. Held files stay held.
  void Release();

  SignerService(const SignerService&) = delete;
  SignerService& operator=(const SignerService&) = delete;

 private:
  SignerService() = default;

  void Hold(PinnedFile file);

  HMODULE callerModule_ = nullptr;
  bool cacheFileApplied_ = false;
  platform::CriticalSection heldLock_;
  std::vector<PinnedFile> heldFiles_;
};
