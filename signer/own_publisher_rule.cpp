#include "signer/own_publisher_rule.h"

using platform::SignatureVerdict;

OwnPublisherAccepts WhatOwnPublisherAccepts(SignatureVerdict verdict, const std::wstring& signer) {
  if (verdict == SignatureVerdict::NotSigned) return OwnPublisherAccepts::EveryFile;
  const bool good = verdict == SignatureVerdict::Valid || verdict == SignatureVerdict::Expired;
  return good && !signer.empty() ? OwnPublisherAccepts::ItsPublisher : OwnPublisherAccepts::Nothing;
}
