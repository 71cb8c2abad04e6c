#include <gtest/gtest.h>

#include "tests/e2e/sign_check_fixture.h"
#include "tests/support/child_process.h"
#include "tests/support/test_pki.h"
#include "tests/support/trust_standin.h"

// VaroSignCheck against trust services that Wine cannot produce: in this
// prefix the system folder holds the stand-in wintrust.dll, which the tool
// loads once its DllOverrides prefer the native copy.

namespace {

namespace settings = trust_standin_settings;

std::wstring EnvironmentValue(const wchar_t* name) {
  wchar_t value[1024] = {};
  const DWORD length = ::GetEnvironmentVariableW(name, value, 1024);
  return length < 1024 ? value : L"";
}

// A file that only a catalog vouches for: the catalog, the result of its
// check and the chain the provider built are the report's, by name.
TEST_F(SignCheckTest, CatalogSignatures) {
  ASSERT_TRUE(registry_.SetText(HKEY_CURRENT_USER, 0, L"Software\\Wine\\AppDefaults\\VaroSignCheck.exe\\DllOverrides",
                                L"wintrust", L"native,builtin"));
  const std::wstring catalog = L"C:\\windows\\system32\\catroot\\varo-test.cat";
  trust_standin::Set(settings::kCatalog, catalog);
  trust_standin::Set(settings::kSignerCertificates,
                     EnvironmentValue(L"VARO_TEST_PKI") + L"\\leaves\\eastmere\\signing-certs.pem");
  struct Case {
    const char* what;
    LONG catalogResult;
    const wchar_t* verdict;
    const wchar_t* decision;
    const wchar_t* result;
  };
  const Case cases[] = {
      {"valid", ERROR_SUCCESS, L"Valid", L"trusted", L"ERROR_SUCCESS"},
      {"revoked", CERT_E_REVOKED, L"Revoked", L"refused", L"CERT_E_REVOKED"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    trust_standin::SetResult(settings::kCatalogResult, c.catalogResult);
    const bool trusted = std::wstring(c.decision) == L"trusted";
    const JsonValue result = RunJson(L"check --json --fresh " + Quoted(SignedTestFile(L"unsigned")), trusted ? 0 : 1);
    ASSERT_EQ(result[L"files"].items.size(), 1u);
    const JsonValue& file = result[L"files"].items[0];
    EXPECT_EQ(file[L"verdict"].text, c.verdict);
    EXPECT_EQ(file[L"signer"].text, L"Eastmere Intelligent Systems Co., Ltd.");
    EXPECT_EQ(file[L"decision"].text, c.decision);
    EXPECT_EQ(file[L"trustResult"][L"name"].text, c.result);
    EXPECT_EQ(file[L"signature"].text, L"catalog");
    EXPECT_EQ(file[L"catalogFile"].text, catalog);
    EXPECT_EQ(file[L"chainOrigin"].text, L"trustProvider");
    const auto& chain = file[L"chain"].items;
    ASSERT_EQ(chain.size(), 2u);
    EXPECT_EQ(chain[0][L"subject"].text, L"CN=\"Eastmere Intelligent Systems Co., Ltd.\"");
    EXPECT_EQ(chain[1][L"subject"].text, L"O=Varo Test PKI, CN=Varo Test Root (trusted)");
    EXPECT_EQ(chain[0][L"sha1"].text.size(), 40u);
  }
}

}  // namespace
