#include "platform/trust_decision.h"

#include <cwchar>

#include <wincrypt.h>
#include <wintrust.h>

namespace {

std::wstring FailureCause(const std::optional<LONG>& result) {
  if (!result) return L"its signature does not verify";
  switch (*result) {
    case TRUST_E_BAD_DIGEST: return L"it was changed after signing";
    case CERT_E_UNTRUSTEDROOT:
    case CERT_E_CHAINING: return L"its certificate chain ends in a root that is not trusted";
    case CERT_E_EXPIRED: return L"its certificate has expired";
    case CERT_E_REVOKED: return L"its certificate has been revoked";
    case ERROR_SUCCESS:
      // The provider said yes, the chain's own status said no.
      return L"its certificate chain does not end in a trusted root";
    default: break;
  }
  wchar_t code[16] = {};
  std::swprintf(code, std::size(code), L"0x%08lX", static_cast<unsigned long>(*result));
  return std::wstring(L"its signature does not verify (") + code + L")";
}

}  // namespace

std::wstring RefusalReason(const TrustDecision& decision) {
  using platform::SignatureVerdict;
  switch (decision.verdict) {
    case SignatureVerdict::Unavailable: return L"its signature could not be checked";
    case SignatureVerdict::NotSigned: return L"it is not signed";
    case SignatureVerdict::Revoked: return L"its certificate has been revoked";
    case SignatureVerdict::Distrusted: return L"its certificate is distrusted";
    case SignatureVerdict::Failed: return FailureCause(decision.trustResult);
    case SignatureVerdict::Valid:
    case SignatureVerdict::Expired: break;
  }
  if (decision.signer.empty()) return L"its signer's name cannot be read";
  return L"it is signed by " + decision.signer + L", which is not an allowed publisher";
}
