#include "signer/signer_verifier.h"

#include "image/pinned_file.h"
#include "platform/file_system.h"
#include "signer/ahead_checker.h"
#include "signer/signer_startup.h"

SignerVerifier& SignerVerifier::Instance() {
  auto guard = SignerStartupLock().Lock();
  static SignerVerifier verifier;
  return verifier;
}

void SignerVerifier::VerifyAhead(const std::vector<HeldFile>& files) {
  std::vector<AheadCheck> work;
  {
    auto guard = lock_.Lock();
    work = verdicts_.Unanswered(files);
  }
  // One file is checked as fast in its turn.
  if (work.size() < 2) return;
  // The trust checks run outside the lock.
  CheckSideBySide(work);
  auto guard = lock_.Lock();
  verdicts_.KeepAhead(std::move(work));
}

void SignerVerifier::DropAheadChecks() {
  auto guard = lock_.Lock();
  verdicts_.DropAhead();
}

platform::SignatureVerdict SignerVerifier::CheckFile(const std::wstring& path, std::wstring& signerName) {
  const PinnedFile pinned = PinnedFile::Open(path);
  if (!pinned.IsValid()) {
    signerName.clear();
    return platform::SignatureVerdict::Failed;
  }
  auto guard = lock_.Lock();
  FileCheck check = verdicts_.Check(path, pinned.Get());
  signerName = std::move(check.signer);
  return check.verdict;
}

TrustDecision SignerVerifier::Decide(const wchar_t* path, const wchar_t* expectedSigner) {
  if (path == nullptr || *path == L'\0') return {};
  if (!FileSystem::IsFile(path)) return {};
  const PinnedFile pinned = PinnedFile::Open(path);
  if (!pinned.IsValid()) return {};
  auto guard = lock_.Lock();
  return DecideLocked(path, expectedSigner, pinned.Get());
}

TrustDecision SignerVerifier::DecideAfresh(const wchar_t* path, const wchar_t* expectedSigner) {
  if (path == nullptr || *path == L'\0' || !FileSystem::IsFile(path)) return {};
  const PinnedFile pinned = PinnedFile::Open(path);
  if (!pinned.IsValid()) return {};
  auto guard = lock_.Lock();
  verdicts_.Forget(path);
  return DecideLocked(path, expectedSigner, pinned.Get());
}

TrustDecision SignerVerifier::DecidePinned(const std::wstring& path, HANDLE pinned) {
  auto guard = lock_.Lock();
  return DecideLocked(path, nullptr, pinned);
}

TrustDecision SignerVerifier::DecideLocked(const std::wstring& path, const wchar_t* expectedSigner, HANDLE pinned) {
  const ReferencePublisher reference = [this] { return Reference(); };
  const FileCheck check = verdicts_.Check(path, pinned);
  TrustDecision decision = JudgeByPublisher(check, expectedSigner, reference);
  if (decision.trusted || !check.fromCache) return decision;
  // A stale or damaged cache record must not refuse a good file: look at it
  // afresh and judge it again by every rule.
  return JudgeByPublisher(verdicts_.CheckAfresh(path, pinned), expectedSigner, reference);
}

bool SignerVerifier::IsGenuineRuntimeLibrary(const std::wstring& path, HANDLE pinned) {
  auto guard = lock_.Lock();
  const FileCheck check = verdicts_.Check(path, pinned);
  if (SignedByAllowedOrRuntimeMaker(check)) return true;
  return JudgeByPublisher(check, nullptr, [this] { return Reference(); }).trusted;
}

const Publisher* SignerVerifier::Reference() {
  switch (referenceSource_) {
    case ReferenceSource::None: return nullptr;
    case ReferenceSource::File: return &referenceFile_;
    case ReferenceSource::CallerModule: break;
  }
  return &modulePublishers_.PublisherOf(callerModule_, verdicts_);
}

void SignerVerifier::PinModuleFile(HMODULE module) {
  auto guard = lock_.Lock();
  modulePublishers_.Pin(module);
}

bool SignerVerifier::SetCallerModule(HMODULE module) {
  auto guard = lock_.Lock();
  callerModule_ = module;
  modulePublishers_.Pin(module);
  return true;
}

void SignerVerifier::SetReferencePublisherFile(const std::wstring& path) {
  auto guard = lock_.Lock();
  referenceSource_ = ReferenceSource::File;
  // A path that cannot be read whole, names no file or cannot be held leaves
  // the verdict at Failed.
  const PinnedFile pinned = path.empty() || !FileSystem::IsFile(path) ? PinnedFile() : PinnedFile::Open(path);
  referenceFile_ = pinned.IsValid() ? DeterminePublisher(verdicts_, path, pinned.Get()) : Publisher();
}

void SignerVerifier::ClearReferencePublisher() {
  auto guard = lock_.Lock();
  referenceSource_ = ReferenceSource::None;
}

void SignerVerifier::SetCacheFile(const wchar_t* path) {
  if (path == nullptr) return;
  auto guard = lock_.Lock();
  verdicts_.SetCacheFile(path);
}

void SignerVerifier::Release() {
  auto guard = lock_.Lock();
  verdicts_.Release();
  callerModule_ = nullptr;
}

void SignerVerifier::SetNotice(const wchar_t* caption, const wchar_t* text, const wchar_t* url) {
  notice_.Set(caption, text, url);
}

bool SignerVerifier::ShowFailureNotice(const wchar_t* path) { return notice_.Show(path); }
