// The environment variables through which a test drives the stand-in
// wintrust.dll in its own process. The stand-in reads them at each call.
#pragma once

namespace trust_standin_settings {

// Set: the DLL refuses to load (DllMain fails).
inline constexpr wchar_t kRefuseLoad[] = L"VARO_STANDIN_REFUSE_LOAD";
// WinVerifyTrust's result, in hexadecimal, for an embedded signature (default
// TRUST_E_NOSIGNATURE) and for a catalog member (default 0).
inline constexpr wchar_t kFileResult[] = L"VARO_STANDIN_FILE_RESULT";
inline constexpr wchar_t kCatalogResult[] = L"VARO_STANDIN_CATALOG_RESULT";
// Size of the file hash in bytes (default 20). The hash is the file's first
// bytes, padded with zeros; a smaller buffer fails with the size reported.
inline constexpr wchar_t kHashSize[] = L"VARO_STANDIN_HASH_SIZE";
// Set: hashing always fails.
inline constexpr wchar_t kHashFails[] = L"VARO_STANDIN_HASH_FAILS";
// Set: no catalog administrator context can be acquired.
inline constexpr wchar_t kAcquireFails[] = L"VARO_STANDIN_ACQUIRE_FAILS";
// Path of the catalog that lists every hash; unset: no catalog lists any.
inline constexpr wchar_t kCatalog[] = L"VARO_STANDIN_CATALOG";
// Set: the catalog's information cannot be read.
inline constexpr wchar_t kCatalogInfoFails[] = L"VARO_STANDIN_CATALOG_INFO_FAILS";
// Subject of the signing certificate as CertStrToNameW reads it, e.g.
// OU=Unit, CN="A Co.,Ltd" (Wine refuses a quoted value that is not last);
// unset: the state has no provider data.
inline constexpr wchar_t kSigner[] = L"VARO_STANDIN_SIGNER";
// Path of a PEM file of certificates, the signing certificate first: the
// provider data then holds these as the signer's chain, and kSigner is not
// read.
inline constexpr wchar_t kSignerCertificates[] = L"VARO_STANDIN_SIGNER_CERTIFICATES";
// The trust status errors (CERT_TRUST_*, hexadecimal; default 0, a chain to a
// trusted root) of the chain the provider data holds for the signer.
inline constexpr wchar_t kChainErrors[] = L"VARO_STANDIN_CHAIN_ERRORS";
// Set: while verifying a file, try to open it for writing (sharing
// everything) and log "write=denied" or "write=allowed".
inline constexpr wchar_t kTryWrite[] = L"VARO_STANDIN_TRY_WRITE";
// Set: a file whose image headers name no certificate table gets
// TRUST_E_NOSIGNATURE, as Windows answers for an unsigned file; kFileResult
// then holds for files that carry signatures only.
inline constexpr wchar_t kUnsignedWithoutCertificates[] = L"VARO_STANDIN_UNSIGNED_WITHOUT_CERTIFICATES";
// Both set: a file check whose path contains kPauseFor, once its answer is
// made, creates the file kPauseFile and waits until someone deletes it (at
// most 30 s).
inline constexpr wchar_t kPauseFor[] = L"VARO_STANDIN_PAUSE_FOR";
inline constexpr wchar_t kPauseFile[] = L"VARO_STANDIN_PAUSE_FILE";
// Written by the stand-in: one line per call, in call order.
inline constexpr wchar_t kLog[] = L"VARO_STANDIN_LOG";

}  // namespace trust_standin_settings
