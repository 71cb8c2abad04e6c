#include "signcheck/verdict_text.h"

std::wstring VerdictText(platform::SignatureVerdict verdict) {
  if (static_cast<uint32_t>(verdict) > static_cast<uint32_t>(platform::SignatureVerdict::Failed)) {
    return L"Unknown(" + std::to_wstring(static_cast<uint32_t>(verdict)) + L")";
  }
  return platform::SignatureVerdictName(verdict);
}
