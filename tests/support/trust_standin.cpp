#include "tests/support/trust_standin.h"

#include <cwchar>

namespace TrustStandIn {

void Set(const wchar_t* setting, const std::wstring& value) { ::SetEnvironmentVariableW(setting, value.c_str()); }

void Clear(const wchar_t* setting) { ::SetEnvironmentVariableW(setting, nullptr); }

void SetResult(const wchar_t* setting, LONG result) {
  wchar_t text[16];
  std::swprintf(text, 16, L"%08lX", static_cast<unsigned long>(result));
  Set(setting, text);
}

std::wstring Log() {
  const DWORD size = ::GetEnvironmentVariableW(TrustStandInSettings::kLog, nullptr, 0);
  if (size == 0) return {};
  std::wstring log(size, L'\0');
  log.resize(::GetEnvironmentVariableW(TrustStandInSettings::kLog, log.data(), size));
  return log;
}

void ClearLog() { Clear(TrustStandInSettings::kLog); }

}  // namespace TrustStandIn
