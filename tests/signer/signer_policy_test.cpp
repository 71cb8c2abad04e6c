#include <gtest/gtest.h>

#include <atomic>
#include <list>
#include <vector>

#include "cache/cache_file.h"
#include "image/pinned_file.h"
#include "platform/file_system.h"
#include "platform/module_file_name.h"
#include "platform/path_text.h"
#include "platform/unique_handle.h"
#include "platform/worker_thread.h"
#include "signer/check_signer.h"
#include "signer/product_texts.h"
#include "signer/signer_service.h"
#include "signer/signer_verifier.h"
#include "tests/support/browser_test_fixture.h"
#include "tests/support/test_pki.h"

// The policy on real files signed with the test PKI. Every test runs in a
// process of its own, so the verifier starts fresh each time. The test
// program itself is unsigned: unless a test registers a signed caller module,
// the own-publisher rule accepts every existing file.

namespace {

constexpr wchar_t kNetworkPublisher[] = L"Harbor Varo Network Software Co.,Ltd";
constexpr wchar_t kMobilePublisher[] = L"Harbor Varo Mobile Software Co., Ltd.";

class SignerPolicyTest : public BrowserTestFixture {
 protected:
  void SetUp() override {
    BrowserTestFixture::SetUp();
    ASSERT_FALSE(SignedTestFile(L"unsigned").empty()) << "VARO_TEST_PKI is not set";
    // Where the failure notice sends the user: a stand-in browser.
    browser_ = Install(Browser::VaroExplorer);
  }

  // The launcher's own publisher becomes that of the file signed by `leaf`.
  void CallerSignedBy(const wchar_t* leaf) {
    module_.Reset(::LoadLibraryExW(SignedTestFile(leaf).c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES));
    ASSERT_TRUE(module_);
    SignerService::Instance().SetCallerModule(module_.Get());
  }

  bool Trusted(const wchar_t* leaf, const wchar_t* expectedSigner = nullptr) {
    return SignerVerifier::Instance().IsTrusted(SignedTestFile(leaf).c_str(), expectedSigner);
  }

  bool HomePageOpened() const {
    const auto arguments = ArgumentsOf(browser_);
    return arguments && *arguments == std::vector<std::wstring>{product_texts::kHomePageUrl};
  }

  std::wstring browser_;
  platform::UniqueModule module_;
};

// Catches the caller module's path read into a fixed buffer: cut at 520
// units it named no file, and "no readable signer" accepted every file.
// (Wine starts no program at such a path, so a signed library stands in for
// the launcher.)
TEST_F(SignerPolicyTest, CallerModuleAtAVeryLongPathKeepsItsPublisher) {
  std::wstring folder = temp_.Path(L"long\\");
  while (folder.size() < 600) folder += L"a-long-folder-name-to-pass-fixed-buffers\\";
  std::wstring longFolder;
  PathText::LongPathForm(folder, longFolder);
  ASSERT_TRUE(FileSystem::CreateDirectoryTree(longFolder));
  const std::wstring caller = longFolder + L"caller.dll";
  ASSERT_TRUE(::CopyFileW(SignedTestFile(L"harbor-network").c_str(), caller.c_str(), FALSE));
  module_.Reset(::LoadLibraryExW(caller.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES));
  ASSERT_TRUE(module_);
  ASSERT_GT(platform::ModuleFileName(module_.Get()).size(), 600u);
  SignerService::Instance().SetCallerModule(module_.Get());

  EXPECT_FALSE(Trusted(L"foreign"));
  EXPECT_FALSE(Trusted(L"unsigned"));
  module_.Reset();
  RemoveTree(L"\\\\?\\" + temp_.Path(L"long"));
}

// Each allowed publisher passes on its own merits, with a launcher whose
// publisher is another one, so the fallback cannot be what let it in.
TEST_F(SignerPolicyTest, AllowedPublishersPass) {
  CallerSignedBy(L"foreign");
  for (const wchar_t* leaf :
       {L"harbor-studio", L"harbor-mobile", L"harbor-network", L"varoview", L"harbor-mingyuan", L"eastmere",
        L"coral-bay", L"expired"}) {
    EXPECT_TRUE(Trusted(leaf)) << leaf;
  }
}

// Catches a foreign, unsigned or changed file passing a signed launcher.
TEST_F(SignerPolicyTest, OthersFailWhenTheLauncherIsSigned) {
  CallerSignedBy(L"harbor-network");
  for (const wchar_t* leaf : {L"foreign", L"unsigned", L"ou-only", L"cn128", L"spoof"}) {
    EXPECT_FALSE(Trusted(leaf)) << leaf;
  }
  EXPECT_FALSE(SignerVerifier::Instance().IsTrusted(L""));
  EXPECT_FALSE(SignerVerifier::Instance().IsTrusted(nullptr));
  EXPECT_FALSE(SignerVerifier::Instance().IsTrusted((temp_.Path(L"missing.dll")).c_str()));
}

// A file from the launcher's own publisher passes even when that publisher
// is not on the list; an unsigned launcher (a development build) accepts
// every existing file.
TEST_F(SignerPolicyTest, OwnPublisherAndUnsignedLauncherRules) {
  CallerSignedBy(L"foreign");
  EXPECT_TRUE(Trusted(L"foreign"));
  EXPECT_FALSE(Trusted(L"unsigned"));

  SignerService::Instance().SetCallerModule(nullptr);  // the unsigned test program
  EXPECT_TRUE(Trusted(L"unsigned"));
  EXPECT_TRUE(Trusted(L"foreign"));
}

// Anyone can make a certificate naming our publisher. A forgery whose chain
// does not verify must not pass the own-publisher rule because of its name.
TEST_F(SignerPolicyTest, ForgedPublisherNameDoesNotPass) {
  CallerSignedBy(L"harbor-network");
  EXPECT_FALSE(Trusted(L"forgery"));
  // The name alone was what the forgery had in common with the launcher.
  std::wstring signer;
  EXPECT_EQ(SignerVerifier::Instance().CheckFile(SignedTestFile(L"forgery"), signer),
            platform::SignatureVerdict::Failed);
  EXPECT_EQ(signer, kNetworkPublisher);
}

// A caller that names the publisher gets exactly that publisher, case and
// punctuation included, and no fallback.
TEST_F(SignerPolicyTest, ExpectedSignerMustMatchExactly) {
  CallerSignedBy(L"harbor-mobile");
  EXPECT_TRUE(Trusted(L"harbor-mobile", kMobilePublisher));
  EXPECT_FALSE(Trusted(L"harbor-mobile", kNetworkPublisher));
  EXPECT_FALSE(Trusted(L"harbor-mobile", L"harbor varo mobile software co., ltd."));
  EXPECT_FALSE(Trusted(L"harbor-mobile", L"Harbor Varo Mobile Software Co.,Ltd."));
}

TEST_F(SignerPolicyTest, CheckSignerAnswersAndShowsTheNoticeOnlyWhenAsked) {
  CallerSignedBy(L"harbor-network");
  EXPECT_FALSE(CheckSigner(L"", nullptr, true));
  EXPECT_FALSE(CheckSigner(nullptr, nullptr, true));
  EXPECT_TRUE(CheckSigner(SignedTestFile(L"harbor-mobile").c_str(), nullptr, true));
  EXPECT_TRUE(CheckSigner(SignedTestFile(L"harbor-mobile").c_str(), kMobilePublisher, true));
  EXPECT_FALSE(CheckSigner(SignedTestFile(L"foreign").c_str(), nullptr, false));
  EXPECT_FALSE(WasStarted(browser_));

  EXPECT_FALSE(CheckSigner(SignedTestFile(L"harbor-mobile").c_str(), kNetworkPublisher, true));
  EXPECT_TRUE(HomePageOpened());
}

// The application may ask from any of its threads at once.
TEST_F(SignerPolicyTest, CheckSignerFromManyThreads) {
  CallerSignedBy(L"harbor-network");
  const std::wstring allowed = SignedTestFile(L"eastmere");
  const std::wstring foreign = SignedTestFile(L"foreign");
  std::atomic<int> wrong{0};
  std::list<platform::WorkerThread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 10; ++i) {
        if (!CheckSigner(allowed.c_str(), nullptr, false)) ++wrong;
        if (CheckSigner(foreign.c_str(), nullptr, false)) ++wrong;
      }
    });
  }
  threads.clear();
  EXPECT_EQ(wrong, 0);
}

TEST_F(SignerPolicyTest, LoadVerifiedLibraryLoadsOnlyTrustedFiles) {
  CallerSignedBy(L"harbor-network");
  SignerService& service = SignerService::Instance();
  EXPECT_EQ(service.LoadVerifiedLibrary(temp_.Path(L"missing.dll").c_str()), nullptr);
  EXPECT_EQ(service.LoadVerifiedLibrary(temp_.Path().c_str()), nullptr);
  EXPECT_FALSE(WasStarted(browser_));

  platform::UniqueModule loaded(service.LoadVerifiedLibrary(SignedTestFile(L"coral-bay").c_str()));
  EXPECT_TRUE(loaded);

  EXPECT_EQ(service.LoadVerifiedLibrary(SignedTestFile(L"foreign").c_str()), nullptr);
  EXPECT_TRUE(HomePageOpened());
}

// Release writes the verdicts back, and the next use starts from the file.
TEST_F(SignerPolicyTest, ReleaseWritesTheCacheBack) {
  const std::wstring cacheFile = temp_.Path(L"cache.dat");
  SignerVerifier& verifier = SignerVerifier::Instance();
  verifier.SetCacheFile(cacheFile.c_str());
  EXPECT_TRUE(Trusted(L"harbor-studio"));
  EXPECT_TRUE(Trusted(L"foreign"));  // through the unsigned program's rule
  verifier.Release();

  std::vector<CacheEntry> entries;
  bool corrupt = false;
  ASSERT_TRUE(ReadCacheFile(cacheFile, entries, corrupt));
  ASSERT_GE(entries.size(), 2u);
  EXPECT_EQ(entries[0].verdict, platform::SignatureVerdict::Valid);
  EXPECT_EQ(entries[0].signer, L"港湾星禾信息科技服务工作室");
}

// Catches checks made ahead, two at a time on threads of their own, that
// decide otherwise than checks made in turn: the same files must get the
// same verdicts, signers and rules either way, a refused one included.
TEST_F(SignerPolicyTest, ChecksMadeAheadDecideAsChecksInTurn) {
  SignerVerifier& verifier = SignerVerifier::Instance();
  module_.Reset(::LoadLibraryExW(SignedTestFile(L"harbor-network").c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES));
  ASSERT_TRUE(module_);
  verifier.SetCallerModule(module_.Get());
  const wchar_t* leaves[] = {L"harbor-mobile", L"foreign", L"unsigned", L"expired", L"eastmere", L"harbor-network"};
  std::vector<PinnedFile> held;
  std::vector<HeldFile> ahead;
  for (const wchar_t* leaf : leaves) {
    held.push_back(PinnedFile::Open(SignedTestFile(leaf)));
    ASSERT_TRUE(held.back().IsValid());
    ahead.push_back({held.back().Path(), held.back().Get()});
  }
  auto decideAll = [&] {
    std::vector<TrustDecision> decisions;
    for (const PinnedFile& file : held) decisions.push_back(verifier.DecidePinned(file.Path(), file.Get()));
    return decisions;
  };

  const std::vector<TrustDecision> inTurn = decideAll();
  verifier.Release();
  verifier.SetCallerModule(module_.Get());
  verifier.VerifyAhead(ahead);
  const std::vector<TrustDecision> madeAhead = decideAll();
  for (size_t i = 0; i < held.size(); ++i) {
    const std::wstring leaf = leaves[i];
    EXPECT_EQ(madeAhead[i].trusted, inTurn[i].trusted) << ::testing::PrintToString(leaf);
    EXPECT_EQ(madeAhead[i].rule, inTurn[i].rule) << ::testing::PrintToString(leaf);
    EXPECT_EQ(madeAhead[i].allowedRow, inTurn[i].allowedRow) << ::testing::PrintToString(leaf);
    EXPECT_EQ(madeAhead[i].verdict, inTurn[i].verdict) << ::testing::PrintToString(leaf);
    EXPECT_EQ(madeAhead[i].signer, inTurn[i].signer) << ::testing::PrintToString(leaf);
  }
  EXPECT_FALSE(inTurn[1].trusted);
  EXPECT_TRUE(inTurn[0].trusted);
}

}  // namespace
