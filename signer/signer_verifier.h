// The process-wide signer policy: whether a file is signed by an allowed
// publisher, by a publisher the caller names, or by the launcher's own
// publisher. Verdicts come from the verification cache when the file is
// unchanged, else from the signature checker. One lock, taken once by each
// public function, guards the verdicts, the publishers and the reference.
#pragma once

#include <string>
#include <vector>

#include "platform/critical_section.h"
#include "platform/signature_verdict.h"
#include "platform/trust_decision.h"
#include "platform/win.h"
#include "signer/failure_notice.h"
#include "signer/file_verdicts.h"
#include "signer/module_publishers.h"
#include "signer/publisher_policy.h"

class SignerVerifier {
 public:
  // Created on first use under the start-up lock; destroyed at exit, when its
  // cache writes back one last time.
  static SignerVerifier& Instance();

  // Verdict and signer name of one file, from the cache or a fresh check,
  // both read through one handle held for the check. Failed, with no signer,
  // when the file cannot be held.
  platform::SignatureVerdict CheckFile(const std::wstring& path, std::wstring& signerName);

  // The policy decision for an existing file: IsTrusted's answer with the
  // rule that gave it. With `expectedSigner` (non-null, non-empty) only that
  // publisher counts, else any allowed one; failing that, a file validly
  // signed by the reference publisher passes, and every file passes when the
  // reference is an unsigned launcher. A refusal never rests on a cached
  // verdict alone: the file is checked afresh first. The file is held open,
  // shared for reading only, from its cache lookup to its verdict's record,
  // so the verdict and the stamp it is cached with are the same file's; a
  // file that cannot be held is refused.
  TrustDecision Decide(const wchar_t* path, const wchar_t* expectedSigner = nullptr);
  bool IsTrusted(const wchar_t* path, const wchar_t* expectedSigner = nullptr) {
    return Decide(path, expectedSigner).trusted;
  }

  // Decide, with the file checked afresh rather than answered from the
  // cache; the new verdict replaces the cached one.
  TrustDecision DecideAfresh(const wchar_t* path, const wchar_t* expectedSigner = nullptr);

  // Decide for the file open in `pinned` and known as `path`: its stamp and
  // its content are read through the handle, so a name re-pointed meanwhile
  // cannot swap in another file.
  TrustDecision DecidePinned(const std::wstring& path, HANDLE pinned);

  // Verifies, on at most two threads of their own, the files among `files`
  // that the cache cannot answer, and keeps the verdicts for the checks of
  // those very handles that follow: a launch's companion libraries and
  // module are checked at once rather than one after the other, and each is
  // still decided, in its turn, through its own handle. The handles must
  // stay open until then.
  void VerifyAhead(const std::vector<HeldFile>& files);

  // Forgets the verdicts VerifyAhead made that no check has taken: their
  // handles are closed once the load that asked for them has ended, and a
  // handle value is soon another file's.
  void DropAheadChecks();

  // Whether a compiler run-time library beside the launcher, open in
  // `pinned`, may be loaded: a good signature of an allowed publisher, of
  // the launcher's own, or of the run-time's maker. An unsigned launcher
  // loads whatever is there.
  bool IsGenuineRuntimeLibrary(const std::wstring& path, HANDLE pinned);

  // Holds, for the life of the process, the file that `module` (null: the
  // program) was mapped from, so that its publisher, read when a file first
  // needs the own-publisher rule, is that of the running image. The launcher
  // entry does this for the program before anything else; a module not held
  // so is held when it becomes the caller module.
  void PinModuleFile(HMODULE module);

  // The module whose publisher counts as the launcher's own; null means the
  // process's executable. Its publisher is determined when first needed,
  // through the held file: Failed, so that the rule accepts nothing, when the
  // held file is not the mapped one (see ModuleFile::MatchesMapping), and
  // never NotSigned for a module mapped from a signed file. Always true.
  bool SetCallerModule(HMODULE module);

  // For tools that judge files on a launcher's behalf: the reference
  // publisher is that of the file at `path` (determined now), or there is
  // none and the own-publisher rule accepts nothing.
  void SetReferencePublisherFile(const std::wstring& path);
  void ClearReferencePublisher();

  // Switches the cache to the file at `path` (null: nothing happens).
  void SetCacheFile(const wchar_t* path);

  // Writes the cache back and resets it, forgets the caller module and drops
  // the checker and any verdicts made ahead. Publishers already determined,
  // and the files they were read from, are kept.
  void Release();

  // The failure notice's caption, text and home page (null leaves one empty).
  void SetNotice(const wchar_t* caption, const wchar_t* text, const wchar_t* url);

  // Tells the user that `path` was refused and opens the home page. One
  // notice at a time; checks on other threads go on while the box is open.
  // False only for a null path.
  bool ShowFailureNotice(const wchar_t* path);

  SignerVerifier(const SignerVerifier&) = delete;
  SignerVerifier& operator=(const SignerVerifier&) = delete;

 private:
  enum class ReferenceSource { CallerModule, File, None };

  SignerVerifier() = default;
  ~SignerVerifier() = default;

  // The members below are read and changed with lock_ held; the private
  // functions expect it to be held by their caller.
  TrustDecision DecideLocked(const std::wstring& path, const wchar_t* expectedSigner, HANDLE pinned);
  const Publisher* Reference();

  platform::CriticalSection lock_;
  FileVerdicts verdicts_;
  ModulePublishers modulePublishers_;
  HMODULE callerModule_ = nullptr;
  ReferenceSource referenceSource_ = ReferenceSource::CallerModule;
  Publisher referenceFile_;
  // Keeps a lock of its own, so that an open box holds up no check.
  FailureNotice notice_;
};
