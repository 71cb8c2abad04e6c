// Whom a checked file's signature must come from: an allowed publisher, the
// one the caller names, or the launcher's own.
#pragma once

#include <functional>
#include <string>

#include "platform/signature_verdict.h"
#include "platform/trust_decision.h"
#include "signer/file_verdicts.h"

// The publisher a file's own-publisher rule compares with: the verdict on the
// launcher (or a reference file) and the name it was signed with. Failed, so
// that the rule accepts nothing, until known.
struct Publisher {
  platform::SignatureVerdict verdict = platform::SignatureVerdict::Failed;
  std::wstring signer;
};

// The decision on `check`. With `expectedSigner` (non-null, non-empty) only
// that publisher counts, else any allowed one; failing that, a file validly
// signed by the reference publisher passes, and every file passes when the
// reference is an unsigned launcher. `reference` is asked only when the
// decision comes to that rule, since finding it may take a check of the
// launcher's own signature; null means there is no own publisher.
using ReferencePublisher = std::function<const Publisher*()>;
TrustDecision JudgeByPublisher(const FileCheck& check, const wchar_t* expectedSigner,
                               const ReferencePublisher& reference);

// Whether `check` is a good signature of an allowed publisher or of the
// maker of the compiler run-time libraries that the launchers ship beside
// themselves.
bool SignedByAllowedOrRuntimeMaker(const FileCheck& check);
