#include "signer/check_signer.h"

#include "platform/win.h"
#include "signer/signer_service.h"
#include "signer/signer_verifier.h"

bool CheckSigner(const wchar_t* path, const wchar_t* expectedSigner, bool showNotice) {
  if (path == nullptr || *path == L'\0') return false;
  SignerService& service = SignerService::Instance();
  if (expectedSigner != nullptr && *expectedSigner != L'\0') {
    if (SignerVerifier::Instance().IsTrusted(path, expectedSigner)) return true;
  } else {
    if (!service.HasCallerModule()) service.SetCallerModule(::GetModuleHandleW(nullptr));
    if (SignerVerifier::Instance().IsTrusted(path)) return true;
  }
  if (showNotice) service.ShowFailureNotice(path);
  return false;
}
