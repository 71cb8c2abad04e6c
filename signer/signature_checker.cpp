#include "signer/signature_checker.h"

#include <array>
#include <cstddef>

#include "locations/file_system.h"
#include "platform/scope_exit.h"
#include "platform/unique_handle.h"
#include "platform/windows_version.h"
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
  return VerdictOf(result);
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
  return VerdictOf(VerifyCatalogMember(catalog, memberTag, path, signerName));
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
  // The name is read whatever went wrong, so that a refusal can say who signed.
  if (signerName != nullptr && result != TRUST_E_NOSIGNATURE) ReadSignerName(data.hWVTStateData, signerName);
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

PCCERT_CONTEXT SignatureChecker::SigningCertificate(HANDLE stateData) {
  CRYPT_PROVIDER_DATA* provider = functions_->provDataFromStateData(stateData);
  if (provider == nullptr) return nullptr;
  const CRYPT_PROVIDER_SGNR* signer = functions_->provSignerFromChain(provider, 0, FALSE, 0);
  if (signer == nullptr || signer->csCertChain == 0 || signer->pasCertChain == nullptr) return nullptr;
  // The chain starts with the certificate that made the signature.
  const PCCERT_CONTEXT certificate = signer->pasCertChain[0].pCert;
  if (certificate == nullptr || certificate->pCertInfo == nullptr) return nullptr;
  return certificate;
}

bool SignatureChecker::ReadSignerName(HANDLE stateData, wchar_t* signerName) {
  if (stateData == nullptr || signerName == nullptr || !Bind()) return false;
  const PCCERT_CONTEXT certificate = SigningCertificate(stateData);
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
