#include "signer/certificate_facts.h"

#include <array>
#include <cstring>
#include <string_view>
#include <vector>

// The low-level digest functions, which OpenSSL 3 marks deprecated: its
// one-shot SHA1() and SHA256() and EVP go through the provider machinery,
// which imports system libraries the tool must not link.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/sha.h>

namespace {

// Attribute types of a signer's unauthenticated attributes.
constexpr char kRfc3161Timestamp[] = "1.3.6.1.4.1.311.3.3.1";
constexpr char kPkcs9CounterSignature[] = "1.2.840.113549.1.9.6";
// 1.2.840.113549.1.9.5 (signingTime) as DER object identifier content.
constexpr BYTE kSigningTimeOid[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x05};

constexpr BYTE kInteger = 0x02;
constexpr BYTE kOctetString = 0x04;
constexpr BYTE kObjectIdentifier = 0x06;
constexpr BYTE kUtcTime = 0x17;
constexpr BYTE kGeneralizedTime = 0x18;
constexpr BYTE kSequence = 0x30;
constexpr BYTE kSet = 0x31;
constexpr BYTE kContextZero = 0xA0;  // [0], constructed

// A cursor over DER elements with definite lengths, which is all that
// signatures use. Every read checks that the element lies inside its parent.
class DerReader {
 public:
  DerReader() = default;
  DerReader(const BYTE* data, size_t size) : next_(data), end_(data + size) {}

  bool AtEnd() const { return next_ == end_; }

  // The next element, whatever its tag; false at the end or on a malformed
  // header.
  bool Next(BYTE& tag, DerReader& content) {
    if (end_ - next_ < 2) return false;
    tag = next_[0];
    size_t length = next_[1];
    const BYTE* start = next_ + 2;
    if (length & 0x80) {
      const size_t lengthBytes = length & 0x7F;
      if (lengthBytes == 0 || lengthBytes > 4 || static_cast<size_t>(end_ - start) < lengthBytes) return false;
      length = 0;
      for (size_t i = 0; i < lengthBytes; ++i) length = length << 8 | start[i];
      start += lengthBytes;
    }
    if (static_cast<size_t>(end_ - start) < length) return false;
    content = DerReader(start, length);
    next_ = start + length;
    return true;
  }

  // The next element only when its tag is `expected`.
  bool Expect(BYTE expected, DerReader& content) {
    BYTE tag = 0;
    return Next(tag, content) && tag == expected;
  }

  bool Skip(BYTE expected) {
    DerReader ignored;
    return Expect(expected, ignored);
  }

  std::string_view Bytes() const {
    return {reinterpret_cast<const char*>(next_), static_cast<size_t>(end_ - next_)};
  }

 private:
  const BYTE* next_ = nullptr;
  const BYTE* end_ = nullptr;
};

unsigned Digits(std::string_view text, size_t from, size_t count, bool& ok) {
  unsigned value = 0;
  for (size_t i = from; i < from + count; ++i) {
    if (i >= text.size() || text[i] < '0' || text[i] > '9') {
      ok = false;
      return 0;
    }
    value = value * 10 + static_cast<unsigned>(text[i] - '0');
  }
  return value;
}

// UTCTime (YYMMDDHHMMSSZ, years 1950 to 2049) or GeneralizedTime
// (YYYYMMDDHHMMSS[.fraction]Z); signatures use UTC only. 0 when malformed.
uint64_t ParseTime(BYTE tag, std::string_view text) {
  bool ok = (tag == kUtcTime || tag == kGeneralizedTime) && !text.empty() && text.back() == 'Z';
  const size_t yearDigits = tag == kUtcTime ? 2 : 4;
  unsigned year = Digits(text, 0, yearDigits, ok);
  if (tag == kUtcTime) year += year < 50 ? 2000 : 1900;
  SYSTEMTIME time{};
  time.wYear = static_cast<WORD>(year);
  time.wMonth = static_cast<WORD>(Digits(text, yearDigits, 2, ok));
  time.wDay = static_cast<WORD>(Digits(text, yearDigits + 2, 2, ok));
  time.wHour = static_cast<WORD>(Digits(text, yearDigits + 4, 2, ok));
  time.wMinute = static_cast<WORD>(Digits(text, yearDigits + 6, 2, ok));
  time.wSecond = static_cast<WORD>(Digits(text, yearDigits + 8, 2, ok));
  FILETIME fileTime{};
  if (!ok || !::SystemTimeToFileTime(&time, &fileTime)) return 0;
  return uint64_t{fileTime.dwHighDateTime} << 32 | fileTime.dwLowDateTime;
}

uint64_t ReadTime(DerReader& reader) {
  BYTE tag = 0;
  DerReader content;
  return reader.Next(tag, content) ? ParseTime(tag, content.Bytes()) : 0;
}

// ContentInfo { contentType, [0] SignedData { version, digestAlgorithms,
// encapContentInfo { eContentType, [0] OCTET STRING TSTInfo } ... } };
// TSTInfo { version, policy, messageImprint, serialNumber, genTime ... }.
uint64_t Rfc3161Time(const CRYPT_ATTR_BLOB& value) {
  DerReader reader(value.pbData, value.cbData);
  DerReader contentInfo, explicitSignedData, signedData, encapsulated, explicitContent, octets, tstInfo;
  if (!reader.Expect(kSequence, contentInfo) || !contentInfo.Skip(kObjectIdentifier) ||
      !contentInfo.Expect(kContextZero, explicitSignedData) || !explicitSignedData.Expect(kSequence, signedData) ||
      !signedData.Skip(kInteger) || !signedData.Skip(kSet) || !signedData.Expect(kSequence, encapsulated) ||
      !encapsulated.Skip(kObjectIdentifier) || !encapsulated.Expect(kContextZero, explicitContent) ||
      !explicitContent.Expect(kOctetString, octets)) {
    return 0;
  }
  if (!octets.Expect(kSequence, tstInfo) || !tstInfo.Skip(kInteger) || !tstInfo.Skip(kObjectIdentifier) ||
      !tstInfo.Skip(kSequence) || !tstInfo.Skip(kInteger)) {
    return 0;
  }
  return ReadTime(tstInfo);
}

// SignerInfo { version, issuerAndSerialNumber, digestAlgorithm,
// [0] IMPLICIT authenticatedAttributes ... }; the signingTime attribute.
uint64_t Pkcs9CounterSignatureTime(const CRYPT_ATTR_BLOB& value) {
  DerReader reader(value.pbData, value.cbData);
  DerReader signerInfo, attributes;
  if (!reader.Expect(kSequence, signerInfo) || !signerInfo.Skip(kInteger) || !signerInfo.Skip(kSequence) ||
      !signerInfo.Skip(kSequence) || !signerInfo.Expect(kContextZero, attributes)) {
    return 0;
  }
  while (!attributes.AtEnd()) {
    DerReader attribute, type, values;
    if (!attributes.Expect(kSequence, attribute) || !attribute.Expect(kObjectIdentifier, type)) return 0;
    const std::string_view oid(reinterpret_cast<const char*>(kSigningTimeOid), sizeof(kSigningTimeOid));
    if (type.Bytes() != oid) continue;
    return attribute.Expect(kSet, values) ? ReadTime(values) : 0;
  }
  return 0;
}

std::wstring NameText(CERT_NAME_BLOB& name, decltype(&::CertNameToStrW) certNameToStr) {
  if (certNameToStr == nullptr) return {};
  // Sizes are in characters, terminator included.
  const DWORD size = certNameToStr(X509_ASN_ENCODING, &name, CERT_X500_NAME_STR, nullptr, 0);
  if (size <= 1) return {};
  std::wstring text(size, L'\0');
  const DWORD written = certNameToStr(X509_ASN_ENCODING, &name, CERT_X500_NAME_STR, text.data(), size);
  text.resize(written > 0 ? written - 1 : 0);
  return text;
}

std::wstring Sha1Hex(const BYTE* data, size_t size) {
  SHA_CTX context{};
  std::array<BYTE, SHA_DIGEST_LENGTH> digest{};
  SHA1_Init(&context);
  SHA1_Update(&context, data, size);
  SHA1_Final(digest.data(), &context);
  return HexText(digest.data(), digest.size());
}

std::wstring Sha256Hex(const BYTE* data, size_t size) {
  SHA256_CTX context{};
  std::array<BYTE, SHA256_DIGEST_LENGTH> digest{};
  SHA256_Init(&context);
  SHA256_Update(&context, data, size);
  SHA256_Final(digest.data(), &context);
  return HexText(digest.data(), digest.size());
}

uint64_t FileTimeValue(const FILETIME& time) { return uint64_t{time.dwHighDateTime} << 32 | time.dwLowDateTime; }

}  // namespace

std::wstring HexText(const BYTE* bytes, size_t size) {
  static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
  std::wstring text;
  text.reserve(size * 2);
  for (size_t i = 0; i < size; ++i) {
    text.push_back(kDigits[bytes[i] >> 4]);
    text.push_back(kDigits[bytes[i] & 0x0F]);
  }
  return text;
}

CertificateFacts DescribeCertificate(PCCERT_CONTEXT certificate, decltype(&::CertNameToStrW) certNameToStr) {
  CertificateFacts facts;
  if (certificate == nullptr || certificate->pCertInfo == nullptr) return facts;
  CERT_INFO& info = *certificate->pCertInfo;
  facts.subject = NameText(info.Subject, certNameToStr);
  facts.issuer = NameText(info.Issuer, certNameToStr);
  // CryptoAPI keeps integers least significant byte first.
  const std::vector<BYTE> serial(info.SerialNumber.pbData, info.SerialNumber.pbData + info.SerialNumber.cbData);
  facts.serial = HexText(std::vector<BYTE>(serial.rbegin(), serial.rend()).data(), serial.size());
  facts.validFrom = FileTimeValue(info.NotBefore);
  facts.validTo = FileTimeValue(info.NotAfter);
  if (certificate->pbCertEncoded != nullptr && certificate->cbCertEncoded > 0) {
    facts.sha1 = Sha1Hex(certificate->pbCertEncoded, certificate->cbCertEncoded);
    facts.sha256 = Sha256Hex(certificate->pbCertEncoded, certificate->cbCertEncoded);
  }
  return facts;
}

uint64_t TimestampOf(const CRYPT_ATTRIBUTES& unauthenticatedAttributes) {
  for (DWORD i = 0; i < unauthenticatedAttributes.cAttr; ++i) {
    const CRYPT_ATTRIBUTE& attribute = unauthenticatedAttributes.rgAttr[i];
    if (attribute.pszObjId == nullptr || attribute.cValue == 0 || attribute.rgValue == nullptr) continue;
    uint64_t time = 0;
    if (std::strcmp(attribute.pszObjId, kRfc3161Timestamp) == 0) {
      time = Rfc3161Time(attribute.rgValue[0]);
    } else if (std::strcmp(attribute.pszObjId, kPkcs9CounterSignature) == 0) {
      time = Pkcs9CounterSignatureTime(attribute.rgValue[0]);
    }
    if (time != 0) return time;
  }
  return 0;
}
