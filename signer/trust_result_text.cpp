#include "signer/trust_result_text.h"

#include <cwchar>
#include <iterator>

namespace {

struct KnownResult {
  LONG result;
  const wchar_t* name;
  // Windows' own message, for systems (and Wine) whose message table lacks
  // it.
  const wchar_t* text;
};

// The name is the header's own spelling of the constant, so the two cannot
// drift apart.
#define WIDE_LITERAL(literal) L##literal
#define KNOWN_RESULT(result, text) \
  KnownResult { result, WIDE_LITERAL(#result), text }

constexpr KnownResult kKnownResults[] = {
    KNOWN_RESULT(ERROR_SUCCESS, L"The operation completed successfully."),
    KNOWN_RESULT(TRUST_E_NOSIGNATURE, L"No signature was present in the subject."),
    KNOWN_RESULT(TRUST_E_BAD_DIGEST, L"The digital signature of the object did not verify."),
    KNOWN_RESULT(
        CERT_E_UNTRUSTEDROOT,
        L"A certificate chain processed, but terminated in a root certificate which is not trusted by the trust "
        L"provider."),
    KNOWN_RESULT(
        CERT_E_EXPIRED,
        L"A required certificate is not within its validity period when verifying against the current system clock "
        L"or the timestamp in the signed file."),
    KNOWN_RESULT(CERT_E_REVOKED, L"A certificate was explicitly revoked by its issuer."),
    KNOWN_RESULT(TRUST_E_EXPLICIT_DISTRUST, L"The certificate was explicitly marked as untrusted by the user."),
    KNOWN_RESULT(CERT_E_CHAINING, L"A certificate chain could not be built to a trusted root authority."),
    KNOWN_RESULT(
        CERT_E_UNTRUSTEDCA,
        L"A certification chain processed correctly, but one of the CA certificates is not trusted by the policy "
        L"provider."),
    KNOWN_RESULT(CERT_E_UNTRUSTEDTESTROOT,
                 L"The certification path terminates with the test root which is not trusted with the current policy "
                 L"settings."),
    KNOWN_RESULT(CERT_E_REVOCATION_FAILURE,
                 L"The revocation process could not continue - the certificate(s) could not be checked."),
    KNOWN_RESULT(CERT_E_WRONG_USAGE, L"The certificate is not valid for the requested usage."),
    KNOWN_RESULT(CERT_E_PURPOSE, L"A certificate being used for a purpose other than the ones specified by its CA."),
    KNOWN_RESULT(CERT_E_VALIDITYPERIODNESTING,
                 L"The validity periods of the certification chain do not nest correctly."),
    KNOWN_RESULT(CERT_E_ISSUERCHAINING,
                 L"A parent of a given certificate in fact did not issue that child certificate."),
    KNOWN_RESULT(
        CERT_E_MALFORMED,
        L"A certificate is missing or has an empty value for an important field, such as a subject or issuer name."),
    KNOWN_RESULT(CERT_E_CRITICAL, L"A certificate contains an unknown extension that is marked 'critical'."),
    KNOWN_RESULT(TRUST_E_FAIL, L"Generic trust failure."),
    KNOWN_RESULT(TRUST_E_SUBJECT_NOT_TRUSTED, L"The subject is not trusted for the specified action."),
    KNOWN_RESULT(TRUST_E_PROVIDER_UNKNOWN, L"Unknown trust provider."),
    KNOWN_RESULT(TRUST_E_ACTION_UNKNOWN,
                 L"The trust verification action specified is not supported by the specified trust provider."),
    KNOWN_RESULT(TRUST_E_SUBJECT_FORM_UNKNOWN,
                 L"The form specified for the subject is not one supported or known by the specified trust provider."),
    KNOWN_RESULT(TRUST_E_SYSTEM_ERROR, L"A system-level error occurred while verifying trust."),
    KNOWN_RESULT(TRUST_E_NO_SIGNER_CERT, L"The certificate for the signer of the message is invalid or not found."),
    KNOWN_RESULT(TRUST_E_COUNTER_SIGNER, L"One of the counter signatures was invalid."),
    KNOWN_RESULT(TRUST_E_CERT_SIGNATURE, L"The signature of the certificate cannot be verified."),
    KNOWN_RESULT(TRUST_E_TIME_STAMP,
                 L"The timestamp signature and/or certificate could not be verified or is malformed."),
    KNOWN_RESULT(TRUST_E_BASIC_CONSTRAINTS, L"A certificate's basic constraint extension has not been observed."),
    KNOWN_RESULT(CRYPT_E_SECURITY_SETTINGS,
                 L"The cryptographic operation failed due to a local security option setting."),
    KNOWN_RESULT(CRYPT_E_FILE_ERROR, L"An error occurred while reading or writing to a file."),
    KNOWN_RESULT(CRYPT_E_BAD_MSG,
                 L"Not a cryptographic message or the cryptographic message is not formatted correctly."),
};

#undef KNOWN_RESULT
#undef WIDE_LITERAL

const KnownResult* Find(LONG result) {
  for (const KnownResult& known : kKnownResults) {
    if (known.result == result) return &known;
  }
  return nullptr;
}

std::wstring SystemText(LONG result) {
  wchar_t* buffer = nullptr;
  // With FORMAT_MESSAGE_ALLOCATE_BUFFER the buffer argument receives a
  // LocalAlloc'ed pointer, passed through an LPWSTR cast.
  const DWORD length =
      ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, static_cast<DWORD>(result), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text = length > 0 && buffer != nullptr ? std::wstring(buffer, length) : std::wstring();
  if (buffer != nullptr) ::LocalFree(buffer);
  // Messages end with a line break; a few span lines.
  for (wchar_t& c : text) {
    if (c == L'\r' || c == L'\n') c = L' ';
  }
  while (!text.empty() && text.back() == L' ') text.pop_back();
  return text;
}

}  // namespace

const wchar_t* TrustResultName(LONG result) {
  const KnownResult* known = Find(result);
  return known != nullptr ? known->name : L"";
}

std::wstring TrustResultText(LONG result) {
  std::wstring text = SystemText(result);
  if (!text.empty()) return text;
  const KnownResult* known = Find(result);
  return known != nullptr ? known->text : L"no text for this result";
}

std::wstring TrustResultCode(LONG result) {
  wchar_t text[16] = {};
  std::swprintf(text, std::size(text), L"0x%08lX", static_cast<unsigned long>(static_cast<DWORD>(result)));
  return text;
}
