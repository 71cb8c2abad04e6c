// The inputs with which the signer policy asks the trust provider about a
// file: one place for the record sizes and provider flags, so that a tool
// that asks again to explain a verdict asks exactly the same question.
#pragma once

#include <cstddef>

#include "signer/trust_functions.h"

namespace trust_request {

// The records as Windows 7 defines them: a newer system reads its later
// members (WINTRUST_DATA::pSignatureSettings, WINTRUST_CATALOG_INFO::hCatAdmin)
// only when cbStruct says they are there.
inline constexpr DWORD kFileInfoSize = 32;
inline constexpr DWORD kTrustDataSize = 80;
inline constexpr DWORD kCatalogMemberInfoSize = 64;
inline constexpr DWORD kCatalogInfoSize = 524;
static_assert(sizeof(WINTRUST_FILE_INFO) == kFileInfoSize);
static_assert(offsetof(WINTRUST_DATA, dwUIContext) + sizeof(DWORD) == kTrustDataSize);
static_assert(offsetof(WINTRUST_CATALOG_INFO, pcCatalogContext) + sizeof(PCCTL_CONTEXT) == kCatalogMemberInfoSize);
static_assert(sizeof(CATALOG_INFO) == kCatalogInfoSize);

// Before Vista the provider knows neither hash-only checks nor cached-only
// URL retrieval, so revocation checking is switched off instead.
inline constexpr DWORD kEmbeddedFlags = WTD_SAFER_FLAG | WTD_HASH_ONLY_FLAG | WTD_CACHE_ONLY_URL_RETRIEVAL;
inline constexpr DWORD kEmbeddedFlagsBeforeVista = WTD_SAFER_FLAG | WTD_REVOCATION_CHECK_NONE;
inline constexpr DWORD kCatalogFlags = WTD_HASH_ONLY_FLAG | WTD_CACHE_ONLY_URL_RETRIEVAL;
inline constexpr DWORD kCatalogFlagsBeforeVista = WTD_REVOCATION_CHECK_NONE;
static_assert(kEmbeddedFlags == 0x1300 && kEmbeddedFlagsBeforeVista == 0x110);
static_assert(kCatalogFlags == 0x1200 && kCatalogFlagsBeforeVista == 0x10);

// Larger files are not hashed for the catalog lookup.
inline constexpr LONGLONG kMaxCatalogFileSize = 0x2000000;
// Enough for any hash the catalog database uses; a larger one is asked for
// once at the size the system reports.
inline constexpr DWORD kInitialHashSize = 256;

// A WINTRUST_DATA without user interface, everything not named zero.
inline WINTRUST_DATA NewTrustData(DWORD unionChoice, DWORD revocationChecks, DWORD providerFlags) {
  WINTRUST_DATA data{};
  data.cbStruct = kTrustDataSize;
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = revocationChecks;
  data.dwUnionChoice = unionChoice;
  data.dwProvFlags = providerFlags;
  data.dwUIContext = WTD_UICONTEXT_EXECUTE;
  return data;
}

// The embedded signature's check: no revocation check, with the SAFER flag.
inline WINTRUST_DATA EmbeddedTrustData(bool vistaOrLater) {
  return NewTrustData(WTD_CHOICE_FILE, WTD_REVOKE_NONE, vistaOrLater ? kEmbeddedFlags : kEmbeddedFlagsBeforeVista);
}

// A catalog member's check: the whole chain's revocation, no SAFER flag.
inline WINTRUST_DATA CatalogTrustData(bool vistaOrLater) {
  return NewTrustData(WTD_CHOICE_CATALOG, WTD_REVOKE_WHOLECHAIN,
                      vistaOrLater ? kCatalogFlags : kCatalogFlagsBeforeVista);
}

// For a person who asks for it (never for the policy): the revocation of
// every certificate of the chain, fetched online where the cache lacks it.
inline void AskForRevocation(WINTRUST_DATA& data) {
  data.fdwRevocationChecks = WTD_REVOKE_WHOLECHAIN;
  data.dwProvFlags &= ~(WTD_CACHE_ONLY_URL_RETRIEVAL | WTD_REVOCATION_CHECK_NONE);
  data.dwProvFlags |= WTD_REVOCATION_CHECK_CHAIN;
}

}  // namespace trust_request
