// The process-wide signer policy: whether a file is signed by an allowed
// publisher, by a publisher the caller names, or by the launcher's own
// publisher. Verdicts come from the verification cache when the file is
// unchanged, else from the signature checker.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cache/verification_cache.h"
#include "platform/critical_section.h"
#include "platform/win.h"
#include "signer/signature_verdict.h"

class SignatureChecker;

class SignerVerifier {
 public:
  // Created on first use under the start-up lock; destroyed at exit, when its
  // cache writes back one last time.
  static SignerVerifier& Instance();

  // Verdict and signer name of one file, from the cache or a fresh check.
  SignatureVerdict CheckFile(const std::wstring& path, std::wstring& signerName);

  // The policy decision for an existing file. With `expectedSigner` (non-null,
  // non-empty) only that publisher counts, else any allowed one; failing
  // that, a file validly signed by the caller module's own publisher passes,
  // and every file passes when the caller module has no readable signer.
  bool IsTrusted(const wchar_t* path, const wchar_t* expectedSigner = nullptr);

  // The module whose publisher counts as the launcher's own; null means the
  // process's executable. Always true.
  bool SetCallerModule(HMODULE module);

  // Switches the cache to the file at `path` (null: nothing happens).
  void SetCacheFile(const wchar_t* path);

  // Writes the cache back and resets it, forgets the caller module and drops
  // the checker.
  void Release();

  // The failure notice's caption, text and home page (null leaves one empty).
  void SetNotice(const wchar_t* caption, const wchar_t* text, const wchar_t* url);

  // Tells the user that `path` was refused and opens the home page. Holds the
  // verifier's lock while the message box is open. False only for a null
  // path.
  bool ShowFailureNotice(const wchar_t* path);

  SignerVerifier(const SignerVerifier&) = delete;
  SignerVerifier& operator=(const SignerVerifier&) = delete;

 private:
  SignerVerifier();
  ~SignerVerifier();

  bool IsAllowedSigner(const std::wstring& signer) const;
  bool PassesOwnPublisherRule(const std::wstring& path, SignatureVerdict verdict, std::wstring signer);
  std::wstring CallerModulePath() const;

  platform::CriticalSection lock_;
  HMODULE callerModule_ = nullptr;
  std::unique_ptr<SignatureChecker> checker_;
  VerificationCache cache_;
  std::vector<std::wstring> allowedSigners_;
  std::wstring noticeCaption_;
  std::wstring noticeText_;
  std::wstring noticeUrl_;
};
