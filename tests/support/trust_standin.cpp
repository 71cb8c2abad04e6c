#include "tests/support/trust_standin.h"

#include <cwchar>

namespace trust_standin {

void Set(const wchar_t* setting, const std::wstring& value) { ::SetEnvironmentVariableW(setting, value.c_str()); }

void Clear(const wchar_t* setting) { ::SetEnvironmentVariableW(setting, nullptr); }

void SetResult(const wchar_t* setting, LONG result) {
  wchar_t text[16];
  std::swprintf(text, 16, L"%08lX", static_cast<unsigned long>(result));
  Set(setting, text);
}

std::wstring Log() {
  const DWORD size = ::GetEnvironmentVariableW(trust_standin_settings::kLog, nullptr, 0);
  if (size == 0) return {};
  std::wstring log(size, L'\0');
  log.resize(::GetEnvironmentVariableW(trust_standin_settings::kLog, log.data(), size));
  return log;
}

void ClearLog() { Clear(trust_standin_settings::kLog); }

}  // namespace trust_standin
