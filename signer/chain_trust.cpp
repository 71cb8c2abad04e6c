#include "signer/chain_trust.h"

#include <wincrypt.h>

using platform::SignatureVerdict;

namespace {

// Whether revocation was checked is the provider's revocation policy.
constexpr DWORD kIgnored =
    CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION | CERT_TRUST_IS_NOT_TIME_NESTED;
constexpr DWORD kOutOfTime = CERT_TRUST_IS_NOT_TIME_VALID | CERT_TRUST_CTL_IS_NOT_TIME_VALID;

}  // namespace

SignatureVerdict JudgeChain(SignatureVerdict provider, std::optional<DWORD> chainErrors) {
  if (provider != SignatureVerdict::Valid && provider != SignatureVerdict::Expired) return provider;
  if (!chainErrors) return SignatureVerdict::Failed;
  const DWORD errors = *chainErrors & ~kIgnored;
  if (errors & CERT_TRUST_IS_REVOKED) return SignatureVerdict::Revoked;
  if (errors & CERT_TRUST_IS_EXPLICIT_DISTRUST) return SignatureVerdict::Distrusted;
  if (errors & ~kOutOfTime) return SignatureVerdict::Failed;
  return errors != 0 ? SignatureVerdict::Expired : provider;
}
