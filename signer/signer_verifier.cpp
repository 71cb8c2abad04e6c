#include "signer/signer_verifier.h"

#include <commctrl.h>

#include "locations/file_system.h"
#include "platform/get_proc.h"
#include "signer/signature_checker.h"
#include "signer/signer_startup.h"
#include "signer/web_page_opener.h"

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

// A signature whose certificate has merely expired still counts as good.
bool IsAcceptable(SignatureVerdict verdict) {
  return verdict == SignatureVerdict::Valid || verdict == SignatureVerdict::Expired;
}

// Anyone can make a certificate that names our publisher, and a file changed
// after signing keeps its certificate: the name alone proves nothing, so the
// file's own signature must hold as well. Only a launcher without a readable
// signer (an unsigned development build) accepts every file.
bool SharesPublisher(SignatureVerdict verdict, const std::wstring& signer, const std::wstring& moduleSigner) {
  return moduleSigner.empty() || (IsAcceptable(verdict) && moduleSigner == signer);
}

constexpr DWORD kModulePathUnits = 520;
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

SignatureVerdict SignerVerifier::CheckFile(const std::wstring& path, std::wstring& signerName) {
  // Re-entered from IsTrusted, which already holds the lock.
  auto guard = lock_.Lock();
  signerName.clear();
  const SignatureVerdict cached = cache_.Lookup(path, signerName);
  if (IsCacheableVerdict(cached)) return cached;

  if (!checker_) checker_ = std::make_unique<SignatureChecker>();
  wchar_t name[kSignerNameCapacity] = {};
  const SignatureVerdict verdict = checker_->Verify(path.c_str(), name);
  signerName = name;
  if (verdict != SignatureVerdict::Unavailable) cache_.Record(verdict, path, signerName);
  return verdict;
}

bool SignerVerifier::IsTrusted(const wchar_t* path, const wchar_t* expectedSigner) {
  if (path == nullptr || *path == L'\0') return false;
  if (!FileSystem::IsFile(path)) return false;
  auto guard = lock_.Lock();

  std::wstring signer;
  const SignatureVerdict verdict = CheckFile(path, signer);
  if (expectedSigner != nullptr && *expectedSigner != L'\0') {
    if (IsAcceptable(verdict)) return signer == expectedSigner;
  } else if (IsAcceptable(verdict) && IsAllowedSigner(signer)) {
    return true;
  }
  return PassesOwnPublisherRule(path, verdict, signer);
}

bool SignerVerifier::IsAllowedSigner(const std::wstring& signer) const {
  for (const std::wstring& allowed : allowedSigners_) {
    if (signer == allowed) return true;
  }
  return false;
}

bool SignerVerifier::PassesOwnPublisherRule(const std::wstring& path, SignatureVerdict verdict, std::wstring signer) {
  const std::wstring modulePath = CallerModulePath();
  std::wstring moduleSigner;
  CheckFile(modulePath, moduleSigner);
  if (SharesPublisher(verdict, signer, moduleSigner)) return true;

  // A stale cached answer must not refuse a file: look at both afresh.
  cache_.Forget(path);
  cache_.Forget(modulePath);
  verdict = CheckFile(path, signer);
  CheckFile(modulePath, moduleSigner);
  return SharesPublisher(verdict, signer, moduleSigner);
}

std::wstring SignerVerifier::CallerModulePath() const {
  const HMODULE module = callerModule_ ? callerModule_ : ::GetModuleHandleW(nullptr);
  wchar_t buffer[kModulePathUnits + 1] = {};
  ::GetModuleFileNameW(module, buffer, kModulePathUnits);
  return buffer;
}

bool SignerVerifier::SetCallerModule(HMODULE module) {
  auto guard = lock_.Lock();
  callerModule_ = module;
  return true;
}

void SignerVerifier::SetCacheFile(const wchar_t* path) {
  if (path == nullptr) return;
  auto guard = lock_.Lock();
  cache_.SetFile(path);
}

void SignerVerifier::Release() {
  auto guard = lock_.Lock();
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
  // Held until the user has closed the box and the browser is started, so
  // other threads' checks wait instead of piling up more notices.
  auto guard = lock_.Lock();

  // Loaded directly and never freed: the notice must work even when the
  // system library cache could not bind anything.
  const HMODULE comctl = ::LoadLibraryA("COMCTL32.DLL");
  if (auto init = platform::GetProc<decltype(&::InitCommonControlsEx)>(comctl, "InitCommonControlsEx")) {
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
    init(&controls);
  }
  const HMODULE user32 = ::LoadLibraryA("User32.dll");
  auto messageBox = platform::GetProc<decltype(&::MessageBoxW)>(user32, "MessageBoxW");
  if (messageBox && !noticeText_.empty() && !noticeCaption_.empty()) {
    const std::wstring message = noticeText_ + L"\r\n" + path;
    messageBox(nullptr, message.c_str(), noticeCaption_.c_str(), MB_OK);
  }

  const std::wstring url = noticeUrl_.substr(0, kNoticeUrlUnits);
  if (!url.empty()) OpenWebPage(url.c_str());
  return true;
}
