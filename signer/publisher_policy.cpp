#include "signer/publisher_policy.h"

#include <iterator>

#include "signer/own_publisher_rule.h"

using platform::SignatureVerdict;

namespace {

// Publishers whose signature is accepted, compared exactly: the comma and
// full-stop details of each name matter.
constexpr const wchar_t* kAllowedSigners[] = {
    L"港湾星禾信息科技服务工作室",
    L"Harbor Varo Mobile Software Co., Ltd.",
    L"Harbor Varo Network Software Co.,Ltd",
    L"varoview.example",
    L"港湾鸣远网络科技股份有限公司",
    L"Eastmere Intelligent Systems Co., Ltd.",
    L"Coral Bay Network Systems Co., Ltd.",
};

// The maker of the compiler run-time libraries, as its signing certificate
// names it.
constexpr wchar_t kRuntimeMaker[] = L"Microsoft Corporation";

// A signature whose certificate has merely expired still counts as good.
bool IsAcceptable(SignatureVerdict verdict) {
  return verdict == SignatureVerdict::Valid || verdict == SignatureVerdict::Expired;
}

// The allowed publisher's row, counted from 1; 0 for anyone else.
int AllowedRow(const std::wstring& signer) {
  for (size_t i = 0; i < std::size(kAllowedSigners); ++i) {
    if (signer == kAllowedSigners[i]) return static_cast<int>(i) + 1;
  }
  return 0;
}

}  // namespace

TrustDecision JudgeByPublisher(const FileCheck& check, const wchar_t* expectedSigner,
                               const ReferencePublisher& reference) {
  TrustDecision decision;
  decision.verdict = check.verdict;
  decision.signer = check.signer;
  decision.fromCache = check.fromCache;
  decision.trustResult = check.trustResult;
  const bool good = IsAcceptable(check.verdict);
  if (expectedSigner != nullptr && *expectedSigner != L'\0') {
    // The caller named its publisher: nobody else's good signature will do.
    if (good) {
      decision.trusted = check.signer == expectedSigner;
      decision.rule = decision.trusted ? TrustRule::ExpectedSigner : TrustRule::Refused;
      return decision;
    }
  } else if (good) {
    if (const int row = AllowedRow(check.signer); row != 0) {
      decision.trusted = true;
      decision.rule = TrustRule::AllowedPublisher;
      decision.allowedRow = row;
      return decision;
    }
  }

  const Publisher* own = reference();
  if (own == nullptr) return decision;
  // Anyone can make a certificate that names our publisher, and a file
  // changed after signing keeps its certificate, so the file's own signature
  // must hold as well.
  switch (WhatOwnPublisherAccepts(own->verdict, own->signer)) {
    case OwnPublisherAccepts::EveryFile:
      decision.trusted = true;
      decision.rule = TrustRule::UnsignedLauncher;
      break;
    case OwnPublisherAccepts::ItsPublisher:
      if (good && check.signer == own->signer) {
        decision.trusted = true;
        decision.rule = TrustRule::OwnPublisher;
      }
      break;
    case OwnPublisherAccepts::Nothing: break;
  }
  return decision;
}

bool SignedByAllowedOrRuntimeMaker(const FileCheck& check) {
  return IsAcceptable(check.verdict) && (AllowedRow(check.signer) != 0 || check.signer == kRuntimeMaker);
}
