// What a person needs to recognise a certificate of a signing chain, and the
// signing time that a timestamp countersignature carries. Read-only helpers
// for tools that explain a verdict; nothing here decides trust.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/win.h"

// Left out by WIN32_LEAN_AND_MEAN.
#include <wincrypt.h>

struct CertificateFacts {
  std::wstring subject;  // CERT_X500_NAME_STR form, e.g. O=Varo, CN="A Co.,Ltd"
  std::wstring issuer;
  std::wstring serial;  // upper-case hexadecimal, most significant byte first
  std::wstring sha1;    // thumbprints of the encoded certificate, upper-case
  std::wstring sha256;  // hexadecimal; empty when it carries no encoding
  uint64_t validFrom = 0;  // FILETIME values (UTC)
  uint64_t validTo = 0;
};

// The facts of `certificate`. Names are read with `certNameToStr` (crypt32's
// CertNameToStrW, bound by the caller) and are empty when it is null or
// cannot read them; a null `certificate` or one without its CERT_INFO gives
// empty facts.
CertificateFacts DescribeCertificate(PCCERT_CONTEXT certificate, decltype(&::CertNameToStrW) certNameToStr);

// The signing time of the timestamp countersignature among a signer's
// unauthenticated attributes, as a FILETIME value: an RFC 3161 time-stamp
// token's genTime, else a PKCS #9 countersignature's signingTime. 0 when
// there is none or it cannot be read. The time is read as the token states
// it; whether its signature holds is the trust provider's business.
uint64_t TimestampOf(const CRYPT_ATTRIBUTES& unauthenticatedAttributes);

// `size` bytes as upper-case hexadecimal, two digits a byte.
std::wstring HexText(const BYTE* bytes, size_t size);
