#include "signer/signer_verifier.h"

#include <atomic>

#include <commctrl.h>

#include "image/pinned_file.h"
#include "locations/file_system.h"
#include "platform/get_proc.h"
#include "platform/module_file_name.h"
#include "platform/system_library.h"
#include "platform/worker_thread.h"
#include "signer/own_publisher_rule.h"
#include "signer/signature_checker.h"
#include "signer/signer_startup.h"
#include "signer/web_page_opener.h"

using platform::SignatureVerdict;

namespace {

// Publishers whose signature is accepted, compared exactly: the comma and
// full-stop details of each name matter.
constexpr const wchar_t* kAllowedSigners[] = {
    L"港湾星禾信息科技服务工作室",
    L"Harbor Varo Mobile Software Co., Ltd.",
    L"Harbor Varo Network Software Co.,Ltd",
    L"varoview.example",
    L"港湾鸣远网络科技股份有限公司",
    L"Eastmere Intelligent Systems Co., Ltd.",
    L"Coral Bay Network Systems Co., Ltd.",
};

// The maker of the compiler run-time libraries that the launchers ship
// beside themselves, as its signing certificate names it.
constexpr wchar_t kRuntimeMaker[] = L"Microsoft Corporation";

// A signature whose certificate has merely expired still counts as good.
bool IsAcceptable(SignatureVerdict verdict) {
  return verdict == SignatureVerdict::Valid || verdict == SignatureVerdict::Expired;
}

constexpr size_t kNoticeUrlUnits = 258;

}  // namespace

SignerVerifier& SignerVerifier::Instance() {
  auto guard = SignerStartupLock().Lock();
  static SignerVerifier verifier;
  return verifier;
}

SignerVerifier::SignerVerifier() {
  allowedSigners_.reserve(std::size(kAllowedSigners));
  for (const wchar_t* name : kAllowedSigners) allowedSigners_.emplace_back(name);
}

SignerVerifier::~SignerVerifier() = default;

SignerVerifier::FileCheck SignerVerifier::Check(const std::wstring& path, HANDLE pinned) {
  // Re-entered from the decisions, which already hold the lock.
  auto guard = lock_.Lock();
  FileCheck result;
  // Looked up and recorded with the stamp of the file open in `pinned`,
  // never with that of whatever its name leads to by now.
  FileStamp stamp;
  const bool stamped = ReadFileStamp(pinned, stamp);
  if (stamped) result.verdict = cache_.Lookup(path, stamp, result.signer);
  if (platform::IsCacheableVerdict(result.verdict)) {
    result.fromCache = true;
    return result;
  }

  if (!TakeAheadCheck(path, pinned, stamp, result)) {
    if (!checker_) checker_ = std::make_unique<SignatureChecker>();
    wchar_t name[kSignerNameCapacity] = {};
    result.verdict = checker_->Verify(path.c_str(), name, pinned);
    result.signer = name;
    result.trustResult = checker_->LastTrustResult();
  }
  if (stamped && result.verdict != SignatureVerdict::Unavailable) {
    cache_.Record(result.verdict, path, result.signer, stamp);
  }
  return result;
}

bool SignerVerifier::TakeAheadCheck(const std::wstring& path, HANDLE pinned, const FileStamp& stamp,
                                    FileCheck& result) {
  for (auto ahead = aheadChecks_.begin(); ahead != aheadChecks_.end(); ++ahead) {
    if (ahead->handle != pinned || ahead->path != path) continue;
    // A handle's stamp changes only when its own file does.
    const bool current = ahead->stamp == stamp;
    if (current) result = std::move(ahead->check);
    aheadChecks_.erase(ahead);
    return current;
  }
  return false;
}

void SignerVerifier::VerifyAhead(const std::vector<HeldFile>& files) {
  std::vector<AheadCheck> work;
  {
    auto guard = lock_.Lock();
    for (const HeldFile& file : files) {
      AheadCheck ahead{file.handle, file.path, {}, {}};
      std::wstring signer;
      if (!ReadFileStamp(file.handle, ahead.stamp) ||
          platform::IsCacheableVerdict(cache_.Lookup(file.path, ahead.stamp, signer))) {
        continue;
      }
      work.push_back(std::move(ahead));
    }
  }
  // One file is checked as fast in its turn.
  if (work.size() < 2) return;

  // The trust checks run outside the lock, each thread with a checker of its
  // own; the trust provider itself may be called from several threads.
  std::atomic<size_t> next{0};
  auto verify = [&work, &next] {
    SignatureChecker checker;
    for (size_t i = next++; i < work.size(); i = next++) {
      wchar_t name[kSignerNameCapacity] = {};
      work[i].check.verdict = checker.Verify(work[i].path.c_str(), name, work[i].handle);
      work[i].check.signer = name;
      work[i].check.trustResult = checker.LastTrustResult();
    }
  };
  {
    // Without a second thread this one checks them all.
    platform::WorkerThread helper(verify);
    verify();
  }

  auto guard = lock_.Lock();
  for (AheadCheck& ahead : work) aheadChecks_.push_back(std::move(ahead));
}

void SignerVerifier::DropAheadChecks() {
  auto guard = lock_.Lock();
  aheadChecks_.clear();
}

SignerVerifier::FileCheck SignerVerifier::FreshCheck(const std::wstring& path, HANDLE pinned) {
  auto guard = lock_.Lock();
  cache_.Forget(path);
  return Check(path, pinned);
}

SignatureVerdict SignerVerifier::CheckFile(const std::wstring& path, std::wstring& signerName) {
  const PinnedFile pinned = PinnedFile::Open(path);
  if (!pinned.IsValid()) {
    signerName.clear();
    return SignatureVerdict::Failed;
  }
  FileCheck check = Check(path, pinned.Get());
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
  cache_.Forget(path);
  return DecideLocked(path, expectedSigner, pinned.Get());
}

TrustDecision SignerVerifier::DecidePinned(const std::wstring& path, HANDLE pinned) {
  auto guard = lock_.Lock();
  return DecideLocked(path, nullptr, pinned);
}

TrustDecision SignerVerifier::DecideLocked(const std::wstring& path, const wchar_t* expectedSigner, HANDLE pinned) {
  const FileCheck check = Check(path, pinned);
  TrustDecision decision = Judge(check, expectedSigner);
  if (decision.trusted || !check.fromCache) return decision;
  // A stale or damaged cache record must not refuse a good file: look at it
  // afresh and judge it again by every rule.
  return Judge(FreshCheck(path, pinned), expectedSigner);
}

TrustDecision SignerVerifier::Judge(const FileCheck& check, const wchar_t* expectedSigner) {
  TrustDecision decision;
  decision.verdict = check.verdict;
  decision.signer = check.signer;
  decision.fromCache = check.fromCache;
  decision.trustResult = check.trustResult;
  const bool good = IsAcceptable(check.verdict);
  if (expectedSigner != nullptr && *expectedSigner != L'\0') {
    // The caller named its publisher: nobody else's good signature will do.
    if (good) {
      decision.trusted = check.signer == expectedSigner;
      decision.rule = decision.trusted ? TrustRule::ExpectedSigner : TrustRule::Refused;
      return decision;
    }
  } else if (good) {
    if (const int row = AllowedRow(check.signer); row != 0) {
      decision.trusted = true;
      decision.rule = TrustRule::AllowedPublisher;
      decision.allowedRow = row;
      return decision;
    }
  }

  const Publisher* reference = Reference();
  if (reference == nullptr) return decision;
  // Anyone can make a certificate that names our publisher, and a file
  // changed after signing keeps its certificate, so the file's own signature
  // must hold as well.
  switch (WhatOwnPublisherAccepts(reference->verdict, reference->signer)) {
    case OwnPublisherAccepts::EveryFile:
      decision.trusted = true;
      decision.rule = TrustRule::UnsignedLauncher;
      break;
    case OwnPublisherAccepts::ItsPublisher:
      if (good && check.signer == reference->signer) {
        decision.trusted = true;
        decision.rule = TrustRule::OwnPublisher;
      }
      break;
    case OwnPublisherAccepts::Nothing: break;
  }
  return decision;
}

bool SignerVerifier::IsGenuineRuntimeLibrary(const std::wstring& path, HANDLE pinned) {
  auto guard = lock_.Lock();
  const FileCheck check = Check(path, pinned);
  if (IsAcceptable(check.verdict) && (AllowedRow(check.signer) != 0 || check.signer == kRuntimeMaker)) return true;
  return Judge(check, nullptr).trusted;
}

int SignerVerifier::AllowedRow(const std::wstring& signer) const {
  for (size_t i = 0; i < allowedSigners_.size(); ++i) {
    if (signer == allowedSigners_[i]) return static_cast<int>(i) + 1;
  }
  return 0;
}

SignerVerifier::Publisher SignerVerifier::DeterminePublisher(const std::wstring& path, HANDLE pinned) {
  FileCheck check = Check(path, pinned);
  // An unsigned launcher accepts every file: that never rests on the word of
  // a cache record.
  if (check.fromCache && check.verdict == SignatureVerdict::NotSigned) check = FreshCheck(path, pinned);
  return {check.verdict, std::move(check.signer)};
}

SignerVerifier::Publisher SignerVerifier::DetermineModulePublisher(const ModuleFile& file) {
  // A file that cannot be held, or is not the one that was mapped, leaves
  // the verdict at Failed: nothing is accepted on its behalf.
  if (!file.MatchesMapping()) return {};
  Publisher publisher = DeterminePublisher(file.File().Path(), file.File().Get());
  // Whatever the check says now, an image that was started signed is no
  // development build, and must not accept every file.
  if (publisher.verdict == SignatureVerdict::NotSigned && file.MappedSigned()) {
    publisher.verdict = SignatureVerdict::Failed;
  }
  return publisher;
}

SignerVerifier::ModulePublisherRecord& SignerVerifier::ModuleRecord(HMODULE module) {
  if (module == nullptr) module = ::GetModuleHandleW(nullptr);
  const std::wstring path = platform::ModuleFileName(module);
  for (ModulePublisherRecord& known : modulePublishers_) {
    if (known.file.Module() == module && known.path == path) return known;
  }
  return modulePublishers_.emplace_back(ModulePublisherRecord{path, ModuleFile::Pin(module), std::nullopt});
}

const SignerVerifier::Publisher& SignerVerifier::ModulePublisher(HMODULE module) {
  ModulePublisherRecord& record = ModuleRecord(module);
  if (!record.publisher) record.publisher = DetermineModulePublisher(record.file);
  return *record.publisher;
}

const SignerVerifier::Publisher* SignerVerifier::Reference() {
  switch (referenceSource_) {
    case ReferenceSource::None: return nullptr;
    case ReferenceSource::File: return &referenceFile_;
    case ReferenceSource::CallerModule: break;
  }
  return &ModulePublisher(callerModule_);
}

void SignerVerifier::PinModuleFile(HMODULE module) {
  auto guard = lock_.Lock();
  ModuleRecord(module);
}

bool SignerVerifier::SetCallerModule(HMODULE module) {
  auto guard = lock_.Lock();
  callerModule_ = module;
  ModuleRecord(module);
  return true;
}

void SignerVerifier::SetReferencePublisherFile(const std::wstring& path) {
  auto guard = lock_.Lock();
  referenceSource_ = ReferenceSource::File;
  // A path that cannot be read whole, names no file or cannot be held leaves
  // the verdict at Failed.
  const PinnedFile pinned = path.empty() || !FileSystem::IsFile(path) ? PinnedFile() : PinnedFile::Open(path);
  referenceFile_ = pinned.IsValid() ? DeterminePublisher(path, pinned.Get()) : Publisher();
}

void SignerVerifier::ClearReferencePublisher() {
  auto guard = lock_.Lock();
  referenceSource_ = ReferenceSource::None;
}

void SignerVerifier::SetCacheFile(const wchar_t* path) {
  if (path == nullptr) return;
  auto guard = lock_.Lock();
  cache_.SetFile(path);
}

void SignerVerifier::Release() {
  auto guard = lock_.Lock();
  aheadChecks_.clear();
  cache_.Flush();
  cache_.Reset();
  callerModule_ = nullptr;
  checker_.reset();
}

void SignerVerifier::SetNotice(const wchar_t* caption, const wchar_t* text, const wchar_t* url) {
  auto guard = lock_.Lock();
  noticeCaption_ = caption ? caption : L"";
  noticeText_ = text ? text : L"";
  noticeUrl_ = url ? url : L"";
}

bool SignerVerifier::ShowFailureNotice(const wchar_t* path) {
  if (path == nullptr) return false;
  // One notice at a time, held until the user has closed the box and the
  // browser is started, so that notices do not pile up; the verifier's own
  // lock is not held meanwhile, so the application's other threads go on
  // checking files while the box is open.
  auto noticeGuard = noticeLock_.Lock();
  std::wstring caption;
  std::wstring text;
  std::wstring url;
  {
    auto guard = lock_.Lock();
    caption = noticeCaption_;
    text = noticeText_;
    url = noticeUrl_.substr(0, kNoticeUrlUnits);
  }

  // Loaded directly, from the system folder only, and never freed: the notice
  // must work even when the system library cache could not bind anything.
  const HMODULE comctl = platform::LoadSystemLibrary(L"COMCTL32.DLL");
  if (auto init = platform::GetProc<decltype(&::InitCommonControlsEx)>(comctl, "InitCommonControlsEx")) {
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
    init(&controls);
  }
  const HMODULE user32 = platform::LoadSystemLibrary(L"User32.dll");
  auto messageBox = platform::GetProc<decltype(&::MessageBoxW)>(user32, "MessageBoxW");
  if (messageBox && !text.empty() && !caption.empty()) {
    const std::wstring message = text + L"\r\n" + path;
    messageBox(nullptr, message.c_str(), caption.c_str(), MB_OK);
  }
  if (!url.empty()) OpenWebPage(url.c_str());
  return true;
}
