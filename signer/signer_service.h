// The launcher host's door to the signer policy: verifying and loading
// modules, the failure notice, and releasing the verifier when the
// application has ended.
#pragma once

#include <string>
#include <vector>

#include "image/module_load.h"
#include "image/module_plan.h"
#include "image/pinned_file.h"
#include "platform/critical_section.h"
#include "platform/win.h"

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
  // Forgets what VerifyAhead made and no check took (see
  // SignerVerifier::DropAheadChecks).
  void DropAheadChecks();

  // The decide step of a module's load (see PlanModuleLoad), with the signer
  // policy as the judge: the module and every file of its folder that it
  // brings along must pass it; every other library must be loaded already,
  // lie in the system folder or be an API set. Nothing is loaded.
  ModulePlan PlanApplicationModule(PinnedFile module, const std::string& entryExport);
  // The act step: loads the planned files by their held paths, which stay
  // held for the life of the process once the module has loaded. The result
  // says what happened and why; the failure notice has been shown for a
  // refused file or one that is not the checked file.
  ModuleLoad LoadPlannedModule(ModulePlan plan);
  // Both steps for the module at `path`, with no entry function asked for.
  ModuleLoad LoadApplicationModule(const std::wstring& path);

  // LoadApplicationModule's module: null, silently, for a missing path, a
  // directory, a missing dependency or a failing load; null after the failure
  // notice for a refused file or one swapped under its name.
  HMODULE LoadVerifiedLibrary(const wchar_t* path);

  // Loads a compiler run-time library shipped beside the launcher when it is
  // genuine (SignerVerifier::IsGenuineRuntimeLibrary), and so is every file
  // of the launcher's folder that it brings along, by their held paths.
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
  void HoldPlan(ModulePlan plan);
  static TrustDecision DecideRuntimeLibrary(const std::wstring& path, HANDLE pinned);

  HMODULE callerModule_ = nullptr;
  bool cacheFileApplied_ = false;
  platform::CriticalSection heldLock_;
  std::vector<PinnedFile> heldFiles_;
};
