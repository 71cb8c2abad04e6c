#include <gtest/gtest.h>

#include "image/pinned_file.h"
#include "platform/unique_handle.h"
#include "signer/signer_service.h"
#include "signer/signer_verifier.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_folder.h"
#include "tests/support/trust_standin.h"

// The policy against trust results Wine never gives, from the stand-in
// wintrust.dll beside this program. The stand-in answers the same for every
// file, this program's own executable (the caller module) included.

namespace {

namespace settings = trust_standin_settings;

class SignerPolicyStandInTest : public ::testing::Test {
 protected:
  void Answer(LONG result, const wchar_t* subject) {
    trust_standin::SetResult(settings::kFileResult, result);
    trust_standin::Set(settings::kSigner, subject);
  }
  bool Trusted() { return SignerVerifier::Instance().IsTrusted(file_.c_str()); }

  TempFolder temp_;
  const std::wstring file_ = temp_.WriteFile(L"module.dll", "MZ");
};

// The launcher's own publisher names the file, but the file's signature does
// not hold: a revoked, distrusted or broken signature must not pass on the
// name alone.
TEST_F(SignerPolicyStandInTest, OwnPublisherNeedsAnAcceptableSignature) {
  // The launcher's own publisher is read when a file first needs it, here
  // while every answer is good, and kept for the life of the process.
  Answer(ERROR_SUCCESS, L"CN=Own Publisher");
  SignerVerifier::Instance().SetCallerModule(nullptr);
  EXPECT_TRUE(Trusted());
  SignerVerifier::Instance().Release();
  for (LONG result : {CERT_E_REVOKED, TRUST_E_EXPLICIT_DISTRUST, TRUST_E_BAD_DIGEST}) {
    Answer(result, L"CN=Own Publisher");
    EXPECT_FALSE(Trusted()) << std::hex << result;
    // Each answer must be asked afresh, not taken from the first one.
    SignerVerifier::Instance().Release();
  }
  Answer(ERROR_SUCCESS, L"CN=Own Publisher");
  EXPECT_TRUE(Trusted());
}

// An allowed name is worth nothing with a revoked signature.
TEST_F(SignerPolicyStandInTest, AllowedNameWithRevokedSignatureFails) {
  Answer(CERT_E_REVOKED, L"CN=\"Harbor Varo Network Software Co.,Ltd\"");
  SignerVerifier::Instance().SetCallerModule(nullptr);
  EXPECT_FALSE(Trusted());
}

// Catches the development-build rule applied to a launcher whose own check
// could not be made: without trust services nobody has a readable name, and
// a planted, empty trust library would then let every file through.
TEST_F(SignerPolicyStandInTest, UnavailableTrustServicesRefuseEveryFile) {
  trust_standin::Set(settings::kRefuseLoad);
  std::wstring signer = L"stale";
  EXPECT_EQ(SignerVerifier::Instance().CheckFile(file_, signer), platform::SignatureVerdict::Unavailable);
  EXPECT_EQ(signer, L"");
  const TrustDecision decision = SignerVerifier::Instance().Decide(file_.c_str());
  EXPECT_FALSE(decision.trusted);
  EXPECT_EQ(decision.rule, TrustRule::Refused);
  EXPECT_FALSE(SignerVerifier::Instance().IsTrusted(temp_.Path(L"missing.dll").c_str()));
}

// Catches a launcher that cannot read its own check as unsigned: a broken
// signature of its own is no development build.
TEST_F(SignerPolicyStandInTest, LauncherWithAFailingSignatureAcceptsNothingOnItsOwnBehalf) {
  Answer(TRUST_E_BAD_DIGEST, L"");
  EXPECT_FALSE(Trusted());
  Answer(TRUST_E_NOSIGNATURE, L"");
  EXPECT_FALSE(Trusted()) << "the launcher's own verdict must be kept from the first check";
}

// Catches the run-time library check comparing publisher names without
// asking for a readable one: a launcher whose name cannot be read vouched
// for every validly signed library whose name could not be read either.
TEST_F(SignerPolicyStandInTest, UnreadableNamesVouchForNoRuntimeLibrary) {
  Answer(ERROR_SUCCESS, L"");
  SignerVerifier::Instance().SetCallerModule(nullptr);
  EXPECT_FALSE(SignerVerifier::Instance().IsGenuineRuntimeLibrary(file_, nullptr));
}

// Between the signer check and the load no other process may replace the
// module, or the file loaded would not be the file checked; and a check alone
// holds its file too, or its verdict would be recorded with another file's
// size and times.
TEST_F(SignerPolicyStandInTest, FileCannotBeWrittenWhileItIsChecked) {
  const std::wstring module = temp_.Path(L"payload.dll");
  ASSERT_TRUE(::CopyFileW(SiblingProgram(L"..\\test_payload.dll").c_str(), module.c_str(), FALSE));
  Answer(ERROR_SUCCESS, L"CN=Own Publisher");
  trust_standin::Set(settings::kTryWrite);

  platform::UniqueModule loaded(SignerService::Instance().LoadVerifiedLibrary(module.c_str()));
  EXPECT_TRUE(loaded);
  EXPECT_NE(trust_standin::Log().find(L"write=denied"), std::wstring::npos) << trust_standin::Log();
  EXPECT_EQ(trust_standin::Log().find(L"write=allowed"), std::wstring::npos);

  trust_standin::ClearLog();
  SignerVerifier::Instance().Release();
  EXPECT_TRUE(SignerVerifier::Instance().IsTrusted(file_.c_str()));
  EXPECT_NE(trust_standin::Log().find(L"write=denied"), std::wstring::npos) << trust_standin::Log();
  EXPECT_EQ(trust_standin::Log().find(L"write=allowed"), std::wstring::npos);
}

// Catches checks made ahead and then made again in turn: each file is put to
// the trust provider once.
TEST_F(SignerPolicyStandInTest, FilesCheckedAheadAreNotCheckedAgain) {
  Answer(ERROR_SUCCESS, L"CN=\"Harbor Varo Network Software Co.,Ltd\"");
  const PinnedFile first = PinnedFile::Open(file_);
  const PinnedFile second = PinnedFile::Open(temp_.WriteFile(L"second.dll", "MZ"));
  SignerVerifier::Instance().VerifyAhead({{first.Path(), first.Get()}, {second.Path(), second.Get()}});
  const std::wstring log = trust_standin::Log();
  EXPECT_TRUE(SignerVerifier::Instance().DecidePinned(first.Path(), first.Get()).trusted);
  EXPECT_TRUE(SignerVerifier::Instance().DecidePinned(second.Path(), second.Get()).trusted);
  EXPECT_EQ(trust_standin::Log(), log);
  EXPECT_NE(log.find(L"module.dll"), std::wstring::npos) << log;
  EXPECT_NE(log.find(L"second.dll"), std::wstring::npos) << log;
}

}  // namespace
