#include "signer/signature_checker.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "tests/support/signature_verdict_printer.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_pki.h"

using platform::SignatureVerdict;

// Real trust services of the Wine prefix, on files signed with the test PKI
// (scripts/make-test-pki), whose trusted root the prefix trusts.

namespace {

constexpr wchar_t kNetworkPublisher[] = L"Harbor Varo Network Software Co.,Ltd";

class SignatureCheckerTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(SignedTestFile(L"unsigned").empty()) << "VARO_TEST_PKI is not set"; }

  SignatureVerdict Verify(const std::wstring& path) {
    name_.fill(L'\0');
    return checker_.Verify(path.c_str(), name_.data());
  }
  std::wstring Name() const { return name_.data(); }

  SignatureChecker checker_;
  std::array<wchar_t, kSignerNameCapacity> name_{};
};

struct SignedFile {
  const wchar_t* leaf;
  std::wstring signer;
};

void PrintTo(const SignedFile& file, std::ostream* out) { *out << ::testing::PrintToString(std::wstring(file.leaf)); }

class SignedByTrustedRootTest : public SignatureCheckerTest, public ::testing::WithParamInterface<SignedFile> {};

// Catches a name cut at a comma, left in quotes, garbled on its way from the
// certificate, or taken from the wrong attribute.
TEST_P(SignedByTrustedRootTest, IsValidWithTheSubjectNameAsSigner) {
  EXPECT_EQ(Verify(SignedTestFile(GetParam().leaf)), SignatureVerdict::Valid);
  EXPECT_EQ(Name(), GetParam().signer);
}

INSTANTIATE_TEST_SUITE_P(
    Publishers, SignedByTrustedRootTest,
    ::testing::Values(SignedFile{L"harbor-studio", L"港湾星禾信息科技服务工作室"},
                      SignedFile{L"harbor-mobile", L"Harbor Varo Mobile Software Co., Ltd."},
                      SignedFile{L"harbor-network", kNetworkPublisher},
                      SignedFile{L"varoview", L"varoview.example"},
                      SignedFile{L"harbor-mingyuan", L"港湾鸣远网络科技股份有限公司"},
                      SignedFile{L"eastmere", L"Eastmere Intelligent Systems Co., Ltd."},
                      SignedFile{L"coral-bay", L"Coral Bay Network Systems Co., Ltd."},
                      SignedFile{L"foreign", L"Foreign Test Publisher Ltd"},
                      // No CN: the OU stands in.
                      SignedFile{L"ou-only", L"Varo Test Signing Unit"},
                      // A CN of 127 characters keeps its first 126; one of 128 is
                      // not read, so the OU stands in.
                      SignedFile{L"cn127", std::wstring(126, L'L')},
                      SignedFile{L"cn128", L"Long Name Unit"},
                      // An allowed name inside the O value is not the CN.
                      SignedFile{L"spoof", L"Spoof Test Publisher"}),
    [](const ::testing::TestParamInfo<SignedFile>& info) {
      std::string name;
      for (const wchar_t* c = info.param.leaf; *c != L'\0'; ++c) name += *c == L'-' ? '_' : static_cast<char>(*c);
      return name;
    });

// Catches a missing catalog fallback turning "unsigned" into a failure, and a
// name invented for a file that has none.
TEST_F(SignatureCheckerTest, UnsignedFileIsNotSigned) {
  EXPECT_EQ(Verify(SignedTestFile(L"unsigned")), SignatureVerdict::NotSigned);
  EXPECT_EQ(Name(), L"");
}

// Catches a changed file passing as validly signed.
TEST_F(SignatureCheckerTest, FileChangedAfterSigningFails) {
  TempFolder temp;
  std::vector<uint8_t> bytes = ReadWholeFile(SignedTestFile(L"harbor-network"));
  ASSERT_GT(bytes.size(), 0x60u);
  bytes[0x50] ^= 0xFF;  // inside the DOS stub, which the signature covers
  EXPECT_EQ(Verify(temp.WriteFile(L"changed.dll", bytes)), SignatureVerdict::Failed);
}

// Catches an expired certificate reported as valid or as a plain failure, and
// the signer's name dropped for it.
TEST_F(SignatureCheckerTest, ExpiredCertificateIsExpiredAndNamed) {
  EXPECT_EQ(Verify(SignedTestFile(L"expired")), SignatureVerdict::Expired);
  EXPECT_EQ(Name(), kNetworkPublisher);
}

// Catches an allowed name passing as valid under a root that no store
// trusts, or with no root at all, and an expired leaf passing as valid: each
// with its certificate signed with SHA-1 and with SHA-256, for which Wine's
// trust provider skips its final policy and answers 0 (Windows refuses them
// all). The name is still read so that a refusal can say who signed; a good
// SHA-256 chain stays valid.
TEST_F(SignatureCheckerTest, ForgedAndExpiredChainsFailWhateverTheirDigest) {
  const struct {
    const wchar_t* leaf;
    SignatureVerdict expected;
  } rows[] = {
      {L"forgery", SignatureVerdict::Failed},         {L"forgery-sha256", SignatureVerdict::Failed},
      {L"forgery-alone", SignatureVerdict::Failed},   {L"self-signed", SignatureVerdict::Failed},
      {L"expired", SignatureVerdict::Expired},        {L"expired-sha256", SignatureVerdict::Expired},
      {L"network-sha256", SignatureVerdict::Valid},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(Verify(SignedTestFile(row.leaf)), row.expected) << ::testing::PrintToString(std::wstring(row.leaf));
    EXPECT_EQ(Name(), kNetworkPublisher) << ::testing::PrintToString(std::wstring(row.leaf));
  }
}

// Catches a write through a null name buffer.
TEST_F(SignatureCheckerTest, VerdictWithoutNameBuffer) {
  EXPECT_EQ(checker_.Verify(SignedTestFile(L"varoview").c_str(), nullptr), SignatureVerdict::Valid);
  EXPECT_EQ(checker_.Verify(SignedTestFile(L"unsigned").c_str(), nullptr), SignatureVerdict::NotSigned);
}

// Catches a name written past 126 characters and its terminator.
TEST_F(SignatureCheckerTest, LongNameStaysInItsBuffer) {
  name_.fill(L'#');
  EXPECT_EQ(checker_.Verify(SignedTestFile(L"cn127").c_str(), name_.data()), SignatureVerdict::Valid);
  EXPECT_EQ(name_[126], L'\0');
  EXPECT_EQ(name_[127], L'#');
}

}  // namespace
