// What the own-publisher rule accepts on behalf of a launcher, from the
// launcher's own verdict and signer: the one place that decides it, for the
// signer policy and for the tools that explain the policy.
#pragma once

#include <string>

#include "platform/signature_verdict.h"

enum class OwnPublisherAccepts {
  Nothing,       // the launcher's own check failed, or named nobody
  ItsPublisher,  // good signatures of the launcher's publisher
  EveryFile,     // the launcher is really unsigned: a development build
};

// A good verdict (Valid, or merely Expired) with a readable signer vouches
// for that publisher; only NotSigned, a development build, vouches for every
// file; every other verdict, a failed or unreadable one included, for none.
OwnPublisherAccepts WhatOwnPublisherAccepts(platform::SignatureVerdict verdict, const std::wstring& signer);
