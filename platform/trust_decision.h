// The signer policy's answer about one file, with the reasons for it, so
// that the launchers and the tools that explain them agree on every case.
#pragma once

#include <optional>
#include <string>

#include "platform/enum_names.h"
#include "platform/signature_verdict.h"
#include "platform/win.h"

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
  // What the trust provider answered in the check behind the verdict; nothing
  // for a cached verdict or when the provider was not asked.
  std::optional<LONG> trustResult;
};

// Why a file with this decision was refused, in a few words for a person:
// changed after signing, not signed, a chain to a root that is not trusted,
// an expired or revoked certificate, a publisher that is not allowed (named),
// and so on. For a refused decision only.
std::wstring RefusalReason(const TrustDecision& decision);

// Each rule in a person's words and by its name in the launchers' trace and
// the tool's JSON; refused first, as the fallback.
inline constexpr platform::EnumNames<TrustRule> kTrustRuleNames[] = {
    {TrustRule::Refused, L"refused", L"refused"},
    {TrustRule::AllowedPublisher, L"allowed publisher", L"allowedPublisher"},
    {TrustRule::ExpectedSigner, L"expected signer", L"expectedSigner"},
    {TrustRule::OwnPublisher, L"own publisher of the launcher", L"ownPublisher"},
    {TrustRule::UnsignedLauncher, L"unsigned launcher (it accepts every file)", L"unsignedLauncher"},
};

inline const wchar_t* TrustRuleKey(TrustRule rule) { return platform::NamesOf(kTrustRuleNames, rule).key; }
inline const wchar_t* TrustRuleText(TrustRule rule) { return platform::NamesOf(kTrustRuleNames, rule).text; }
