#include "signer/signature_checker.h"

#include <array>
#include <cstddef>

#include "platform/file_system.h"
#include "platform/scope_exit.h"
#include "platform/unique_handle.h"
#include "platform/windows_version.h"
#include "signer/chain_trust.h"
#include "signer/name_attribute.h"
#include "signer/trust_request.h"

using platform::SignatureVerdict;
using namespace trust_request;

namespace {

// CertNameToStrW text beyond this means a subject we do not read.
constexpr DWORD kSubjectTextCapacity = 512;

SignatureVerdict VerdictOf(LONG result) {
  switch (result) {
    case ERROR_SUCCESS: return SignatureVerdict::Valid;
    case TRUST_E_NOSIGNATURE: return SignatureVerdict::NotSigned;
    case CERT_E_EXPIRED: return SignatureVerdict::Expired;
    case CERT_E_REVOKED: return SignatureVerdict::Revoked;
    case TRUST_E_EXPLICIT_DISTRUST: return SignatureVerdict::Distrusted;
    default: return SignatureVerdict::Failed;
  }
}

// Catalog member tags are the file hash in upper-case hexadecimal.
std::wstring UpperCaseHex(const std::vector<BYTE>& bytes) {
  static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
  std::wstring text;
  text.reserve(bytes.size() * 2);
  for (BYTE b : bytes) {
    text.push_back(kDigits[b >> 4]);
    text.push_back(kDigits[b & 0x0F]);
  }
  return text;
}

// The trust provider and the hash read from wherever a handle's position
// was left.
void RewindFile(HANDLE file) {
  if (file == nullptr) return;
  LARGE_INTEGER start{};
  ::SetFilePointerEx(file, start, nullptr, FILE_BEGIN);
}

void ClearName(wchar_t* signerName) {
  if (signerName != nullptr) signerName[0] = L'\0';
}

}  // namespace

SignatureChecker::SignatureChecker() : vistaOrLater_(platform::IsVistaOrLater()) {}

bool SignatureChecker::Bind() {
  if (functions_ == nullptr) functions_ = TrustFunctions::ForProcess();
  return functions_ != nullptr;
}

SignatureVerdict SignatureChecker::Verify(const wchar_t* path, wchar_t* signerName, HANDLE file) {
  ClearName(signerName);
  lastTrustResult_.reset();
  if (!Bind()) return SignatureVerdict::Unavailable;
  if (path == nullptr) return SignatureVerdict::Failed;

  WINTRUST_FILE_INFO fileInfo{};
  fileInfo.cbStruct = kFileInfoSize;
  fileInfo.pcwszFilePath = path;
  fileInfo.hFile = file;
  RewindFile(file);
  WINTRUST_DATA data = EmbeddedTrustData(vistaOrLater_);
  data.pFile = &fileInfo;
  const LONG result = RunTrustProvider(WINTRUST_ACTION_GENERIC_VERIFY_V2, data, signerName);
  if (result == TRUST_E_NOSIGNATURE) return VerifyCatalog(path, signerName, file);
  return JudgeChain(VerdictOf(result), lastChainErrors_);
}

SignatureVerdict SignatureChecker::VerifyCatalog(const wchar_t* path, wchar_t* signerName, HANDLE file) {
  if (!Bind()) return SignatureVerdict::Unavailable;
  if (path == nullptr) return SignatureVerdict::Failed;

  std::vector<BYTE> hash = HashFile(path, file);
  if (hash.empty()) return SignatureVerdict::NotSigned;

  HCATADMIN admin = nullptr;
  GUID subsystem = DRIVER_ACTION_VERIFY;
  if (!functions_->acquireContext(&admin, &subsystem, 0)) return SignatureVerdict::NotSigned;
  const platform::ScopeExit releaseAdmin([&] { functions_->releaseContext(admin, 0); });

  const std::wstring memberTag = UpperCaseHex(hash);
  // Only the first catalog that lists the hash is consulted.
  const HCATINFO catalog = functions_->enumCatalogFromHash(admin, hash.data(),
                                                          static_cast<DWORD>(hash.size()), 0, nullptr);
  if (catalog == nullptr) return SignatureVerdict::NotSigned;
  const platform::ScopeExit releaseCatalog([&] { functions_->releaseCatalogContext(admin, catalog, 0); });
  const LONG result = VerifyCatalogMember(catalog, memberTag, path, signerName);
  return JudgeChain(VerdictOf(result), lastChainErrors_);
}

LONG SignatureChecker::VerifyCatalogMember(HCATINFO catalog, const std::wstring& memberTag, const wchar_t* path,
                                           wchar_t* signerName) {
  CATALOG_INFO info{};
  info.cbStruct = kCatalogInfoSize;
  if (!functions_->catalogInfoFromContext(catalog, &info, 0)) return TRUST_E_NOSIGNATURE;

  WINTRUST_CATALOG_INFO member{};
  member.cbStruct = kCatalogMemberInfoSize;
  member.pcwszCatalogFilePath = info.wszCatalogFile;
  member.pcwszMemberTag = memberTag.c_str();
  member.pcwszMemberFilePath = path;
  WINTRUST_DATA data = CatalogTrustData(vistaOrLater_);
  data.pCatalog = &member;
  return RunTrustProvider(DRIVER_ACTION_VERIFY, data, signerName);
}

LONG SignatureChecker::RunTrustProvider(GUID action, WINTRUST_DATA& data, wchar_t* signerName) {
  // INVALID_HANDLE_VALUE as the window: no user interface at all.
  const HWND noWindow = static_cast<HWND>(INVALID_HANDLE_VALUE);
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  const LONG result = functions_->winVerifyTrust(noWindow, &action, &data);
  lastTrustResult_ = result;
  ClearName(signerName);
  // The name is read whatever went wrong, so that a refusal can say who
  // signed; the chain only where the answer would let the file in.
  const SignatureVerdict verdict = VerdictOf(result);
  const bool accepting = verdict == SignatureVerdict::Valid || verdict == SignatureVerdict::Expired;
  const bool named = signerName != nullptr && result != TRUST_E_NOSIGNATURE;
  const CRYPT_PROVIDER_SGNR* signer = accepting || named ? Signer(data.hWVTStateData) : nullptr;
  lastChainErrors_ = accepting ? ChainErrors(signer) : std::nullopt;
  if (named) ReadSignerName(signer, signerName);
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  functions_->winVerifyTrust(noWindow, &action, &data);
  return result;
}

std::vector<BYTE> SignatureChecker::HashFile(const wchar_t* path, HANDLE pinned) {
  platform::UniqueFileHandle opened;
  if (pinned == nullptr) opened = FileSystem::OpenFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
  const HANDLE file = pinned != nullptr ? pinned : opened.Get();
  LARGE_INTEGER size{};
  if (!platform::FileHandleTraits::IsValid(file) || !::GetFileSizeEx(file, &size) ||
      size.QuadPart > kMaxCatalogFileSize) {
    return {};
  }
  RewindFile(file);

  DWORD hashSize = kInitialHashSize;
  std::vector<BYTE> hash(hashSize);
  if (!functions_->calcHashFromFileHandle(file, &hashSize, hash.data(), 0)) {
    // A failed call reports the size it needs.
    hash = std::vector<BYTE>(hashSize);
    RewindFile(file);
    if (!functions_->calcHashFromFileHandle(file, &hashSize, hash.data(), 0)) return {};
  }
  hash.resize(hashSize);
  return hash;
}

const CRYPT_PROVIDER_SGNR* SignatureChecker::Signer(HANDLE stateData) {
  CRYPT_PROVIDER_DATA* provider = stateData != nullptr ? functions_->provDataFromStateData(stateData) : nullptr;
  return provider != nullptr ? functions_->provSignerFromChain(provider, 0, FALSE, 0) : nullptr;
}

std::optional<DWORD> SignatureChecker::ChainErrors(const CRYPT_PROVIDER_SGNR* signer) {
  if (signer == nullptr) return std::nullopt;
  // Older providers' records end before the chain.
  constexpr size_t kWithChain = offsetof(CRYPT_PROVIDER_SGNR, pChainContext) + sizeof(PCCERT_CHAIN_CONTEXT);
  if (signer->cbStruct >= kWithChain && signer->pChainContext != nullptr) {
    return signer->pChainContext->TrustStatus.dwErrorStatus;
  }
  // Built here as the provider would have: from the signer's certificate, at
  // the provider's time, with the signature's own certificates to find
  // issuers among.
  const PCCERT_CONTEXT certificate = SigningCertificate(signer);
  if (certificate == nullptr || certificate->pbCertEncoded == nullptr) return std::nullopt;
  CERT_CHAIN_PARA parameters{};
  parameters.cbSize = sizeof(parameters);
  FILETIME asOf = signer->sftVerifyAsOf;
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  if (!functions_->getCertificateChain(nullptr, certificate, (asOf.dwLowDateTime | asOf.dwHighDateTime) ? &asOf : nullptr,
                                       certificate->hCertStore, &parameters, 0, nullptr, &chain) ||
      chain == nullptr) {
    return std::nullopt;
  }
  const DWORD errors = chain->TrustStatus.dwErrorStatus;
  functions_->freeCertificateChain(chain);
  return errors;
}

PCCERT_CONTEXT SignatureChecker::SigningCertificate(const CRYPT_PROVIDER_SGNR* signer) {
  if (signer == nullptr || signer->csCertChain == 0 || signer->pasCertChain == nullptr) return nullptr;
  // The chain starts with the certificate that made the signature.
  const PCCERT_CONTEXT certificate = signer->pasCertChain[0].pCert;
  if (certificate == nullptr || certificate->pCertInfo == nullptr) return nullptr;
  return certificate;
}

bool SignatureChecker::ReadSignerName(HANDLE stateData, wchar_t* signerName) {
  if (stateData == nullptr || signerName == nullptr || !Bind()) return false;
  return ReadSignerName(Signer(stateData), signerName);
}

bool SignatureChecker::ReadSignerName(const CRYPT_PROVIDER_SGNR* signer, wchar_t* signerName) {
  const PCCERT_CONTEXT certificate = SigningCertificate(signer);
  if (certificate == nullptr) return false;

  CERT_NAME_BLOB* subject = &certificate->pCertInfo->Subject;
  // Sizes are in characters, terminator included.
  if (functions_->certNameToStr(X509_ASN_ENCODING, subject, CERT_X500_NAME_STR, nullptr, 0) > kSubjectTextCapacity) {
    return false;
  }
  std::array<wchar_t, kSubjectTextCapacity> text{};
  const DWORD written =
      functions_->certNameToStr(X509_ASN_ENCODING, subject, CERT_X500_NAME_STR, text.data(), kSubjectTextCapacity);
  if (written < kSubjectTextCapacity) text[written] = L'\0';
  return ExtractNameAttribute(text.data(), L"CN", signerName) || ExtractNameAttribute(text.data(), L"OU", signerName);
}
