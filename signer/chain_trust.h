// Our own look at the chain that the trust provider built for a signer. A
// provider may skip its final policy (Wine's does for leaves signed with
// SHA-256), and then a self-signed certificate, or one under a root that no
// store knows, that merely names an allowed publisher would pass for valid.
// The chain's trust status says what the provider's answer left out.
#pragma once

#include <optional>

#include "platform/signature_verdict.h"
#include "platform/win.h"

// The verdict once the chain has been looked at too. `provider` is the
// verdict from the trust provider's answer; `chainErrors` the chain's
// CERT_TRUST_* error status, nothing when no chain could be had. Only a
// Valid or Expired verdict can change: to Failed without a chain, or when
// the chain does not end in a trusted root (untrusted root, partial chain,
// a signature or constraint that does not hold); to Revoked or Distrusted as
// the chain says; Valid to Expired for a certificate out of its time.
// Revocation that could not be checked is the provider's business.
platform::SignatureVerdict JudgeChain(platform::SignatureVerdict provider, std::optional<DWORD> chainErrors);
