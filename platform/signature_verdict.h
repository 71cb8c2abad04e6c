// The outcome of one signature check. The numbers are stored in the
// verification cache file, so they never change.
#pragma once

#include <cstdint>

namespace platform {

enum class SignatureVerdict : uint32_t {
  Unavailable = 0,  // the trust functions could not be bound; nothing was verified
  NotSigned = 1,    // no embedded signature and no usable catalog signature
  Valid = 2,
  Expired = 3,      // CERT_E_EXPIRED
  Revoked = 4,      // CERT_E_REVOKED
  Distrusted = 5,   // TRUST_E_EXPLICIT_DISTRUST
  Failed = 6,       // any other trust provider result
};

// Verdicts that the cache answers without a new check.
inline bool IsCacheableVerdict(SignatureVerdict verdict) {
  return verdict == SignatureVerdict::NotSigned || verdict == SignatureVerdict::Valid ||
         verdict == SignatureVerdict::Expired;
}

// The verdict's name as the enumerator spells it ("Valid", "NotSigned", ...);
// "Unknown" for a number outside the list, which another writer may have
// stored.
inline const wchar_t* SignatureVerdictName(SignatureVerdict verdict) {
  switch (verdict) {
    case SignatureVerdict::Unavailable: return L"Unavailable";
    case SignatureVerdict::NotSigned: return L"NotSigned";
    case SignatureVerdict::Valid: return L"Valid";
    case SignatureVerdict::Expired: return L"Expired";
    case SignatureVerdict::Revoked: return L"Revoked";
    case SignatureVerdict::Distrusted: return L"Distrusted";
    case SignatureVerdict::Failed: return L"Failed";
  }
  return L"Unknown";
}

}  // namespace platform
