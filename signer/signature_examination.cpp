#include "signer/signature_examination.h"

#include <algorithm>
#include <cstring>
#include <utility>

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
// Files carry one signature, or a few nested in it; the bound keeps a
// crafted file from listing without end.
constexpr size_t kMaxSignatures = 16;
// Where Authenticode keeps further signatures: an unauthenticated attribute
// of the first signer.
constexpr char kNestedSignature[] = "1.3.6.1.4.1.311.2.4.1";
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

// The digest algorithm's usual name, else its object identifier.
std::wstring DigestName(const char* objectId) {
  struct Known {
    const char* objectId;
    const wchar_t* name;
  };
  constexpr Known kKnown[] = {{szOID_OIWSEC_sha1, L"SHA-1"}, {szOID_NIST_sha256, L"SHA-256"},
                              {szOID_NIST_sha384, L"SHA-384"}, {szOID_NIST_sha512, L"SHA-512"},
                              {szOID_RSA_MD5, L"MD5"}};
  if (objectId == nullptr) return {};
  for (const Known& known : kKnown) {
    if (std::strcmp(objectId, known.objectId) == 0) return known.name;
  }
  return std::wstring(objectId, objectId + std::strlen(objectId));
}

bool SameBlob(const CERT_NAME_BLOB& a, const CERT_NAME_BLOB& b) {
  return a.cbData == b.cbData && (a.cbData == 0 || std::equal(a.pbData, a.pbData + a.cbData, b.pbData));
}

class Examiner {
 public:
  SignatureExamination Run(const std::wstring& path, const ExaminationRequest& request) {
    request_ = request;
    trust_ = TrustFunctions::ForProcess();
    if (trust_ == nullptr || !messages_.Bind()) return std::move(result_);
    result_.trustFunctionsBound = true;

    WINTRUST_FILE_INFO fileInfo{};
    fileInfo.cbStruct = trust_request::kFileInfoSize;
    fileInfo.pcwszFilePath = path.c_str();
    WINTRUST_DATA data = trust_request::EmbeddedTrustData(vistaOrLater_);
    if (request_.checkRevocation) trust_request::AskForRevocation(data);
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
      if (request_.everySignature) ListEverySignature(path);
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
    if (signer->psSigner != nullptr) RecordTimestamp(signer->psSigner->UnauthAttrs);
    // A PKCS #9 countersignature's signer is known to the provider only.
    if (result_.timestampSigner.empty() && signer->csCounterSigners > 0 && signer->pasCounterSigners != nullptr &&
        signer->pasCounterSigners[0].csCertChain > 0 && signer->pasCounterSigners[0].pasCertChain != nullptr) {
      result_.timestampSigner =
          DescribeCertificate(signer->pasCounterSigners[0].pasCertChain[0].pCert, trust_->certNameToStr).subject;
    }
  }

  struct Timestamp {
    uint64_t time = 0;
    std::wstring signer;
  };

  void RecordTimestamp(const CRYPT_ATTRIBUTES& attributes) {
    Timestamp timestamp = ReadTimestamp(attributes);
    result_.signingTime = timestamp.time;
    result_.timestampSigner = std::move(timestamp.signer);
  }

  // The timestamp's time, and, from an RFC 3161 token, which carries its
  // own certificates, who signed it.
  Timestamp ReadTimestamp(const CRYPT_ATTRIBUTES& attributes) {
    Timestamp timestamp{TimestampOf(attributes), {}};
    for (DWORD i = 0; i < attributes.cAttr && timestamp.signer.empty(); ++i) {
      const CRYPT_ATTRIBUTE& attribute = attributes.rgAttr[i];
      if (attribute.pszObjId == nullptr || attribute.cValue == 0 || attribute.rgValue == nullptr ||
          std::strcmp(attribute.pszObjId, szOID_RFC3161_counterSign) != 0) {
        continue;
      }
      OpenSignedBlob(attribute.rgValue[0], [&](HCERTSTORE store, const CMSG_SIGNER_INFO& tokenSigner) {
        timestamp.signer = SignerSubject(store, tokenSigner);
      });
    }
    return timestamp;
  }

  // Calls `use` with the store and first signer of the signed message that
  // CryptQueryObject finds in `object` (a file's path, or a blob), if it
  // can be read.
  template <typename Use>
  void OpenSigned(DWORD objectType, const void* object, DWORD contentFlags, const Use& use) {
    HCERTSTORE store = nullptr;
    HCRYPTMSG message = nullptr;
    if (!messages_.queryObject(objectType, object, contentFlags, CERT_QUERY_FORMAT_FLAG_BINARY, 0, nullptr, nullptr,
                               nullptr, &store, &message, nullptr)) {
      return;
    }
    const platform::ScopeExit close([&] {
      messages_.closeMessage(message);
      messages_.closeStore(store, 0);
    });
    const std::vector<BYTE> info = SignerInfo(message);
    if (!info.empty()) use(store, *reinterpret_cast<const CMSG_SIGNER_INFO*>(info.data()));
  }

  // OpenSigned for the PKCS #7 signed data in an attribute's value.
  template <typename Use>
  void OpenSignedBlob(const CRYPT_ATTR_BLOB& blob, const Use& use) {
    CERT_BLOB content{blob.cbData, blob.pbData};
    OpenSigned(CERT_QUERY_OBJECT_BLOB, &content, CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED, use);
  }

  // The subject of `signer`'s certificate in `store`; empty when it is not
  // there.
  std::wstring SignerSubject(HCERTSTORE store, const CMSG_SIGNER_INFO& signer) {
    PCCERT_CONTEXT certificate = FindSignerCertificate(store, signer);
    if (certificate == nullptr) return {};
    std::wstring subject = DescribeCertificate(certificate, trust_->certNameToStr).subject;
    messages_.freeCertificate(certificate);
    return subject;
  }

  // Every signature embedded in the file at `path`.
  void ListEverySignature(const std::wstring& path) {
    OpenSigned(CERT_QUERY_OBJECT_FILE, path.c_str(), CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
               [&](HCERTSTORE store, const CMSG_SIGNER_INFO& signer) { ListSignatures(store, signer, false); });
  }

  // Adds the signature of `signer` and those nested in it to the list.
  void ListSignatures(HCERTSTORE store, const CMSG_SIGNER_INFO& signer, bool nested) {
    if (result_.signatures.size() >= kMaxSignatures) return;
    const Timestamp timestamp = ReadTimestamp(signer.UnauthAttrs);
    result_.signatures.push_back({SignerSubject(store, signer), DigestName(signer.HashAlgorithm.pszObjId),
                                  timestamp.time, timestamp.signer, nested});
    for (DWORD i = 0; i < signer.UnauthAttrs.cAttr; ++i) {
      const CRYPT_ATTRIBUTE& attribute = signer.UnauthAttrs.rgAttr[i];
      if (attribute.pszObjId == nullptr || std::strcmp(attribute.pszObjId, kNestedSignature) != 0) continue;
      for (DWORD v = 0; attribute.rgValue != nullptr && v < attribute.cValue; ++v) {
        OpenSignedBlob(attribute.rgValue[v], [&](HCERTSTORE innerStore, const CMSG_SIGNER_INFO& inner) {
          ListSignatures(innerStore, inner, true);
        });
      }
    }
  }

  // The message's first signer, as a CMSG_SIGNER_INFO in its buffer; empty
  // when it cannot be read.
  std::vector<BYTE> SignerInfo(HCRYPTMSG message) {
    DWORD size = 0;
    if (!messages_.messageParam(message, CMSG_SIGNER_INFO_PARAM, 0, nullptr, &size) || size == 0) return {};
    std::vector<BYTE> buffer(size);
    if (!messages_.messageParam(message, CMSG_SIGNER_INFO_PARAM, 0, buffer.data(), &size)) return {};
    return buffer;
  }

  // The certificate in `store` that `signer` names by issuer and serial.
  PCCERT_CONTEXT FindSignerCertificate(HCERTSTORE store, const CMSG_SIGNER_INFO& signer) {
    CERT_INFO wanted{};
    wanted.Issuer = signer.Issuer;
    wanted.SerialNumber = signer.SerialNumber;
    return messages_.findCertificate(store, kEncodings, 0, CERT_FIND_SUBJECT_CERT, &wanted, nullptr);
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
    if (request_.checkRevocation) trust_request::AskForRevocation(data);
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
    OpenSigned(CERT_QUERY_OBJECT_FILE, file.c_str(), contentFlags,
               [&](HCERTSTORE store, const CMSG_SIGNER_INFO& signer) { ReadChain(store, signer); });
  }

  void ReadChain(HCERTSTORE store, const CMSG_SIGNER_INFO& signer) {
    RecordTimestamp(signer.UnauthAttrs);
    PCCERT_CONTEXT certificate = FindSignerCertificate(store, signer);
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
  ExaminationRequest request_;
  SignatureExamination result_;
};

}  // namespace

SignatureExamination ExamineSignature(const std::wstring& path, const ExaminationRequest& request) {
  return Examiner().Run(path, request);
}
