#include "signer/signature_examination.h"

#include <algorithm>

#include "image/pe_image.h"
#include "platform/file_system.h"
#include "platform/get_proc.h"
#include "platform/scope_exit.h"
#include "platform/system_library_cache.h"
#include "platform/unique_handle.h"
#include "platform/windows_version.h"
#include "signer/trust_functions.h"
#include "signer/trust_request.h"

namespace {

// A signature's own certificates never chain deeper; the bound also ends a
// loop of certificates that name each other as issuer.
constexpr size_t kMaxChainLength = 16;
constexpr DWORD kEncodings = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

// crypt32's message and store functions, bound at run time like the trust
// functions.
struct MessageFunctions {
  decltype(&::CryptQueryObject) queryObject = nullptr;
  decltype(&::CryptMsgGetParam) messageParam = nullptr;
  decltype(&::CryptMsgClose) closeMessage = nullptr;
  decltype(&::CertCloseStore) closeStore = nullptr;
  decltype(&::CertFindCertificateInStore) findCertificate = nullptr;
  decltype(&::CertFreeCertificateContext) freeCertificate = nullptr;

  bool Bind() {
    const HMODULE crypt32 = platform::SystemLibraryCache::Instance().GetLibrary(L"crypt32.dll");
    using platform::GetProc;
    queryObject = GetProc<decltype(queryObject)>(crypt32, "CryptQueryObject");
    messageParam = GetProc<decltype(messageParam)>(crypt32, "CryptMsgGetParam");
    closeMessage = GetProc<decltype(closeMessage)>(crypt32, "CryptMsgClose");
    closeStore = GetProc<decltype(closeStore)>(crypt32, "CertCloseStore");
    findCertificate = GetProc<decltype(findCertificate)>(crypt32, "CertFindCertificateInStore");
    freeCertificate = GetProc<decltype(freeCertificate)>(crypt32, "CertFreeCertificateContext");
    return queryObject && messageParam && closeMessage && closeStore && findCertificate && freeCertificate;
  }
};

bool SameBlob(const CERT_NAME_BLOB& a, const CERT_NAME_BLOB& b) {
  return a.cbData == b.cbData && (a.cbData == 0 || std::equal(a.pbData, a.pbData + a.cbData, b.pbData));
}

class Examiner {
 public:
  SignatureExamination Run(const std::wstring& path, bool checkRevocation) {
    checkRevocation_ = checkRevocation;
    trust_ = TrustFunctions::ForProcess();
    if (trust_ == nullptr || !messages_.Bind()) return std::move(result_);
    result_.trustFunctionsBound = true;

    WINTRUST_FILE_INFO fileInfo{};
    fileInfo.cbStruct = trust_request::kFileInfoSize;
    fileInfo.pcwszFilePath = path.c_str();
    WINTRUST_DATA data = trust_request::EmbeddedTrustData(vistaOrLater_);
    if (checkRevocation_) trust_request::AskForRevocation(data);
    data.pFile = &fileInfo;
    const LONG result = RunTrustProvider(WINTRUST_ACTION_GENERIC_VERIFY_V2, data);
    if (result == TRUST_E_NOSIGNATURE) {
      ExamineCatalog(path);
    } else if (!IsImage(path)) {
      // Whatever the provider made of it, no signature is embedded in it.
      result_.trustResult = result;
      result_.source = SignatureSource::NotAnImage;
    } else {
      result_.trustResult = result;
      result_.source = SignatureSource::Embedded;
      if (result_.chain.empty()) ReadSignature(path, CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED);
    }
    return std::move(result_);
  }

 private:
  // Verify, read the signer from the provider's state, close.
  LONG RunTrustProvider(GUID action, WINTRUST_DATA& data) {
    const HWND noWindow = static_cast<HWND>(INVALID_HANDLE_VALUE);
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    const LONG result = trust_->winVerifyTrust(noWindow, &action, &data);
    if (result != TRUST_E_NOSIGNATURE) ReadProviderSigner(data.hWVTStateData);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    trust_->winVerifyTrust(noWindow, &action, &data);
    return result;
  }

  void ReadProviderSigner(HANDLE state) {
    CRYPT_PROVIDER_DATA* provider = state != nullptr ? trust_->provDataFromStateData(state) : nullptr;
    const CRYPT_PROVIDER_SGNR* signer = provider != nullptr ? trust_->provSignerFromChain(provider, 0, FALSE, 0)
                                                            : nullptr;
    if (signer == nullptr) return;
    for (DWORD i = 0; signer->pasCertChain != nullptr && i < signer->csCertChain; ++i) {
      if (signer->pasCertChain[i].pCert == nullptr) break;
      result_.chain.push_back(DescribeCertificate(signer->pasCertChain[i].pCert, trust_->certNameToStr));
    }
    if (!result_.chain.empty()) result_.chainOrigin = ChainOrigin::TrustProvider;
    if (signer->psSigner != nullptr) result_.signingTime = TimestampOf(signer->psSigner->UnauthAttrs);
  }

  void ExamineCatalog(const std::wstring& path) {
    std::vector<BYTE> hash = HashFile(path);
    HCATADMIN admin = nullptr;
    GUID subsystem = DRIVER_ACTION_VERIFY;
    if (hash.empty() || !trust_->acquireContext(&admin, &subsystem, 0)) return;
    const platform::ScopeExit releaseAdmin([&] { trust_->releaseContext(admin, 0); });
    // Only the first catalog that lists the hash counts, as for the checker.
    const HCATINFO catalog =
        trust_->enumCatalogFromHash(admin, hash.data(), static_cast<DWORD>(hash.size()), 0, nullptr);
    if (catalog == nullptr) return;
    const platform::ScopeExit releaseCatalog([&] { trust_->releaseCatalogContext(admin, catalog, 0); });
    CATALOG_INFO info{};
    info.cbStruct = trust_request::kCatalogInfoSize;
    if (!trust_->catalogInfoFromContext(catalog, &info, 0)) return;

    const std::wstring memberTag = HexText(hash.data(), hash.size());
    WINTRUST_CATALOG_INFO member{};
    member.cbStruct = trust_request::kCatalogMemberInfoSize;
    member.pcwszCatalogFilePath = info.wszCatalogFile;
    member.pcwszMemberTag = memberTag.c_str();
    member.pcwszMemberFilePath = path.c_str();
    WINTRUST_DATA data = trust_request::CatalogTrustData(vistaOrLater_);
    if (checkRevocation_) trust_request::AskForRevocation(data);
    data.pCatalog = &member;
    result_.trustResult = RunTrustProvider(DRIVER_ACTION_VERIFY, data);
    result_.source = SignatureSource::Catalog;
    result_.catalogFile = info.wszCatalogFile;
    if (result_.chain.empty()) ReadSignature(result_.catalogFile, CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED);
  }

  static bool IsImage(const std::wstring& path) {
    const platform::UniqueFileHandle file = FileSystem::OpenForRead(path);
    const std::vector<uint8_t> start = file ? pe_image::ReadFileStart(file.Get()) : std::vector<uint8_t>();
    pe_image::HeaderFields fields;
    return pe_image::ReadHeaderFields(start.data(), start.size(), fields);
  }

  std::vector<BYTE> HashFile(const std::wstring& path) {
    const platform::UniqueFileHandle file =
        FileSystem::OpenFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.Get(), &size) || size.QuadPart > trust_request::kMaxCatalogFileSize) return {};
    DWORD hashSize = trust_request::kInitialHashSize;
    std::vector<BYTE> hash(hashSize);
    if (!trust_->calcHashFromFileHandle(file.Get(), &hashSize, hash.data(), 0)) {
      // A failed call reports the size it needs.
      hash.assign(hashSize, 0);
      LARGE_INTEGER start{};
      ::SetFilePointerEx(file.Get(), start, nullptr, FILE_BEGIN);
      if (!trust_->calcHashFromFileHandle(file.Get(), &hashSize, hash.data(), 0)) return {};
    }
    hash.resize(hashSize);
    return hash;
  }

  // The signer's certificate and its issuers as the signature in `file`
  // carries them, and its timestamp; for when the provider gave no signer.
  void ReadSignature(const std::wstring& file, DWORD contentFlags) {
    HCERTSTORE store = nullptr;
    HCRYPTMSG message = nullptr;
    if (!messages_.queryObject(CERT_QUERY_OBJECT_FILE, file.c_str(), contentFlags, CERT_QUERY_FORMAT_FLAG_BINARY, 0,
                               nullptr, nullptr, nullptr, &store, &message, nullptr)) {
      return;
    }
    const platform::ScopeExit close([&] {
      messages_.closeMessage(message);
      messages_.closeStore(store, 0);
    });
    DWORD size = 0;
    if (!messages_.messageParam(message, CMSG_SIGNER_INFO_PARAM, 0, nullptr, &size) || size == 0) return;
    std::vector<BYTE> buffer(size);
    if (!messages_.messageParam(message, CMSG_SIGNER_INFO_PARAM, 0, buffer.data(), &size)) return;
    const auto* signer = reinterpret_cast<const CMSG_SIGNER_INFO*>(buffer.data());
    result_.signingTime = TimestampOf(signer->UnauthAttrs);

    CERT_INFO wanted{};
    wanted.Issuer = signer->Issuer;
    wanted.SerialNumber = signer->SerialNumber;
    PCCERT_CONTEXT certificate =
        messages_.findCertificate(store, kEncodings, 0, CERT_FIND_SUBJECT_CERT, &wanted, nullptr);
    while (certificate != nullptr && result_.chain.size() < kMaxChainLength) {
      result_.chain.push_back(DescribeCertificate(certificate, trust_->certNameToStr));
      CERT_INFO& info = *certificate->pCertInfo;
      const PCCERT_CONTEXT issuer =
          SameBlob(info.Issuer, info.Subject)
              ? nullptr
              : messages_.findCertificate(store, kEncodings, 0, CERT_FIND_SUBJECT_NAME, &info.Issuer, nullptr);
      messages_.freeCertificate(certificate);
      certificate = issuer;
    }
    if (certificate != nullptr) messages_.freeCertificate(certificate);
    if (!result_.chain.empty()) result_.chainOrigin = ChainOrigin::Signature;
  }

  const TrustFunctions* trust_ = nullptr;
  MessageFunctions messages_;
  bool vistaOrLater_ = platform::IsVistaOrLater();
  bool checkRevocation_ = false;
  SignatureExamination result_;
};

}  // namespace

SignatureExamination ExamineSignature(const std::wstring& path, bool checkRevocation) {
  return Examiner().Run(path, checkRevocation);
}
