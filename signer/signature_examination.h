// Why a signature check came out as it did: the trust provider's own result,
// where the signature was found, the signing chain and the timestamp. The
// signature checker turns all of this into one verdict and drops the rest;
// tools that explain a verdict ask again here, with the same inputs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win.h"
#include "signer/certificate_facts.h"

enum class SignatureSource {
  None,      // no embedded signature, and no catalog lists the file
  Embedded,  // the file's own signature
  Catalog,   // a system catalog that lists the file's hash
  NotAnImage,  // no PE image at all (a text file, an empty file): nothing to carry one
};

enum class ChainOrigin {
  None,           // no certificate could be read
  TrustProvider,  // the chain the trust provider built while verifying
  // Read from the signature itself because the provider gave no signer (e.g.
  // a file changed after signing): these certificates were not verified.
  Signature,
};

struct SignatureExamination {
  // False when the trust functions could not be bound; nothing else is set.
  bool trustFunctionsBound = false;
  // WinVerifyTrust's result for the embedded signature, or for the catalog
  // member when the file has no embedded signature and a catalog lists it.
  LONG trustResult = TRUST_E_NOSIGNATURE;
  SignatureSource source = SignatureSource::None;
  std::wstring catalogFile;  // with SignatureSource::Catalog
  ChainOrigin chainOrigin = ChainOrigin::None;
  std::vector<CertificateFacts> chain;  // the signing certificate first
  // FILETIME of the timestamp countersignature's signing time; 0 when the
  // signature carries none.
  uint64_t signingTime = 0;
  // The subject of the certificate that signed that timestamp; empty when
  // there is none or it cannot be read.
  std::wstring timestampSigner;
  // With ExaminationRequest::everySignature: each signature embedded in the
  // file, the outer one first, then those nested in it.
  struct Signature {
    std::wstring signer;  // the signing certificate's subject; empty: not found
    std::wstring digest;  // e.g. "SHA-256", else the algorithm's object identifier
    uint64_t signingTime = 0;
    std::wstring timestampSigner;
    bool nested = false;
  };
  std::vector<Signature> signatures;
};

// What a person asked for beyond the launchers' own question.
struct ExaminationRequest {
  // The provider also checks, online where it must, that no certificate of
  // the chain is revoked.
  bool checkRevocation = false;
  // List every embedded signature, nested ones included.
  bool everySignature = false;
};

// Asks the trust provider about the file at `path` with the inputs of the
// signer policy's checker: its embedded signature first, else the first
// system catalog that lists its hash (files over 32 MiB are not looked up).
// Never fails as such: what could not be learned is left at its default.
SignatureExamination ExamineSignature(const std::wstring& path, const ExaminationRequest& request = {});
