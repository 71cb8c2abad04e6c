#include "signer/trust_functions.h"

#include "platform/critical_section.h"
#include "platform/get_proc.h"
#include "platform/system_library_cache.h"

using platform::GetProc;

const TrustFunctions* TrustFunctions::ForProcess() {
  static platform::CriticalSection lock;
  static TrustFunctions functions;
  auto guard = lock.Lock();
  // Once WinVerifyTrust is there the library is loaded, and a function it
  // lacks will not appear by looking again.
  if (functions.winVerifyTrust == nullptr) functions.Bind();
  return functions.IsComplete() ? &functions : nullptr;
}

void TrustFunctions::Bind() {
  auto& libraries = platform::SystemLibraryCache::Instance();
  const HMODULE wintrust = libraries.GetLibrary(L"wintrust.dll");
  const HMODULE crypt32 = libraries.GetLibrary(L"crypt32.dll");
  if (wintrust == nullptr || crypt32 == nullptr) return;

  calcHashFromFileHandle =
      GetProc<decltype(calcHashFromFileHandle)>(wintrust, "CryptCATAdminCalcHashFromFileHandle");
  acquireContext = GetProc<decltype(acquireContext)>(wintrust, "CryptCATAdminAcquireContext");
  enumCatalogFromHash = GetProc<decltype(enumCatalogFromHash)>(wintrust, "CryptCATAdminEnumCatalogFromHash");
  catalogInfoFromContext = GetProc<decltype(catalogInfoFromContext)>(wintrust, "CryptCATCatalogInfoFromContext");
  releaseCatalogContext =
      GetProc<decltype(releaseCatalogContext)>(wintrust, "CryptCATAdminReleaseCatalogContext");
  releaseContext = GetProc<decltype(releaseContext)>(wintrust, "CryptCATAdminReleaseContext");
  provDataFromStateData = GetProc<decltype(provDataFromStateData)>(wintrust, "WTHelperProvDataFromStateData");
  provSignerFromChain = GetProc<decltype(provSignerFromChain)>(wintrust, "WTHelperGetProvSignerFromChain");
  winVerifyTrust = GetProc<decltype(winVerifyTrust)>(wintrust, "WinVerifyTrust");
  certNameToStr = GetProc<decltype(certNameToStr)>(crypt32, "CertNameToStrW");
  getCertificateChain = GetProc<decltype(getCertificateChain)>(crypt32, "CertGetCertificateChain");
  freeCertificateChain = GetProc<decltype(freeCertificateChain)>(crypt32, "CertFreeCertificateChain");
}

bool TrustFunctions::IsComplete() const {
  return calcHashFromFileHandle && acquireContext && enumCatalogFromHash && catalogInfoFromContext &&
         releaseCatalogContext && releaseContext && provDataFromStateData && provSignerFromChain &&
         winVerifyTrust && certNameToStr && getCertificateChain && freeCertificateChain;
}
