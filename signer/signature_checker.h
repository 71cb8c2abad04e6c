// Whether a file carries a valid code signature, embedded or through a system
// catalog, and who signed it. Not thread-safe: its owner serialises calls.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/win.h"
#include "platform/signature_verdict.h"
#include "signer/trust_functions.h"

// UTF-16 units of the signer name buffers that callers pass, terminator
// included; a name holds at most 126 characters.
constexpr size_t kSignerNameCapacity = 128;

class SignatureChecker {
 public:
  // Reads the system version, which selects the trust provider flags; binds
  // nothing yet.
  SignatureChecker();

  // The verdict on the file at `path`: its embedded signature, else the first
  // system catalog that lists its hash; a good answer of the trust provider
  // stands only when the signer's chain ends in a trusted root (JudgeChain). `signerName`, when not null, is a
  // buffer of kSignerNameCapacity units; it receives the signer's CN (else OU)
  // and is left empty when no name can be read. Unavailable when the trust
  // functions cannot be bound (tried again on the next call while
  // WinVerifyTrust is missing); Failed for a null `path`. With `file`, an
  // open handle to that file, the checks read the file through the handle:
  // whatever `path` leads to by then, the verdict is about the open file.
  platform::SignatureVerdict Verify(const wchar_t* path, wchar_t* signerName, HANDLE file = nullptr);

  // The catalog half of Verify. NotSigned when the file cannot be opened or
  // hashed, is larger than 32 MiB, or no catalog lists it; Unavailable and
  // Failed as for Verify.
  platform::SignatureVerdict VerifyCatalog(const wchar_t* path, wchar_t* signerName, HANDLE file = nullptr);

  // What the trust provider answered for the last verdict (for an unsigned
  // file that no catalog lists, its answer about the embedded signature);
  // nothing when the provider was not asked.
  std::optional<LONG> LastTrustResult() const { return lastTrustResult_; }

  // Reads the signer's name from the state that a trust provider call left in
  // WINTRUST_DATA::hWVTStateData. False, with `signerName` untouched, when
  // either argument is null, the trust functions are not bound, or the signing
  // certificate's subject has neither a usable CN nor OU.
  bool ReadSignerName(HANDLE stateData, wchar_t* signerName);

 private:
  bool Bind();
  // Runs the trust provider's verify and close steps on `data`, reading the
  // signer's name in between; returns the verify step's result.
  LONG RunTrustProvider(GUID action, WINTRUST_DATA& data, wchar_t* signerName);
  LONG VerifyCatalogMember(HCATINFO catalog, const std::wstring& memberTag, const wchar_t* path,
                           wchar_t* signerName);
  std::vector<BYTE> HashFile(const wchar_t* path, HANDLE file);
  // The provider's first signer in its state; null when there is none.
  const CRYPT_PROVIDER_SGNR* Signer(HANDLE stateData);
  PCCERT_CONTEXT SigningCertificate(const CRYPT_PROVIDER_SGNR* signer);
  bool ReadSignerName(const CRYPT_PROVIDER_SGNR* signer, wchar_t* signerName);
  // The trust status errors of the signer's chain; nothing when there is no
  // signer or no chain can be had.
  std::optional<DWORD> ChainErrors(const CRYPT_PROVIDER_SGNR* signer);

  bool vistaOrLater_ = false;
  std::optional<LONG> lastTrustResult_;
  std::optional<DWORD> lastChainErrors_;
  // The process's binding; null until one succeeds.
  const TrustFunctions* functions_ = nullptr;
};
