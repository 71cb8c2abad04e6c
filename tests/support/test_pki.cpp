#include "tests/support/test_pki.h"

#include "platform/win.h"

std::wstring SignedTestFile(const std::wstring& leaf) {
  wchar_t folder[MAX_PATH] = {};
  const DWORD length = ::GetEnvironmentVariableW(L"VARO_TEST_PKI", folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return std::wstring(folder, length) + L"\\signed\\" + leaf + L".dll";
}
