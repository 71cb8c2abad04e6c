// The signer policy's answer about one file, with the reasons for it, so
// that the launchers and the tools that explain them agree on every case.
#pragma once

#include <string>

#include "platform/signature_verdict.h"

enum class TrustRule {
  AllowedPublisher,  // a good signature of a publisher in the allowed list
  ExpectedSigner,    // a good signature of the publisher the caller named
  OwnPublisher,      // a good signature of the launcher's own publisher
  UnsignedLauncher,  // the launcher itself is not signed: a development build
  Refused,           // no rule accepts the file
};

struct TrustDecision {
  bool trusted = false;
  TrustRule rule = TrustRule::Refused;
  // 1 to 7 when an allowed publisher decided, else 0.
  int allowedRow = 0;
  platform::SignatureVerdict verdict = platform::SignatureVerdict::Unavailable;
  std::wstring signer;
  // The verdict came from the verification cache rather than a fresh check.
  bool fromCache = false;
};
