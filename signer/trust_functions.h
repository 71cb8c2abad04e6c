// The trust-service functions that the signature check binds at run time from
// wintrust.dll and crypt32.dll, typed from their own declarations.
#pragma once

#include "platform/win.h"

// Left out by WIN32_LEAN_AND_MEAN; each needs the ones before it.
#include <wincrypt.h>
#include <wintrust.h>
#include <softpub.h>
#include <mscat.h>

struct TrustFunctions {
  decltype(&::CryptCATAdminCalcHashFromFileHandle) calcHashFromFileHandle = nullptr;
  decltype(&::CryptCATAdminAcquireContext) acquireContext = nullptr;
  decltype(&::CryptCATAdminEnumCatalogFromHash) enumCatalogFromHash = nullptr;
  decltype(&::CryptCATCatalogInfoFromContext) catalogInfoFromContext = nullptr;
  decltype(&::CryptCATAdminReleaseCatalogContext) releaseCatalogContext = nullptr;
  decltype(&::CryptCATAdminReleaseContext) releaseContext = nullptr;
  decltype(&::WTHelperProvDataFromStateData) provDataFromStateData = nullptr;
  decltype(&::WTHelperGetProvSignerFromChain) provSignerFromChain = nullptr;
  decltype(&::WinVerifyTrust) winVerifyTrust = nullptr;
  decltype(&::CertNameToStrW) certNameToStr = nullptr;
  decltype(&::CertGetCertificateChain) getCertificateChain = nullptr;
  decltype(&::CertFreeCertificateChain) freeCertificateChain = nullptr;

  // The process's one binding, made on first use from any thread. Null
  // while it is incomplete; it is tried again on a later call while
  // WinVerifyTrust is missing (the library could not be loaded then).
  static const TrustFunctions* ForProcess();

  // Looks all twelve up (null for any that is missing) when both libraries load
  // through SystemLibraryCache; when either does not, changes nothing.
  void Bind();

  // True when all twelve are bound.
  bool IsComplete() const;
};
