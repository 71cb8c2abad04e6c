#include <gtest/gtest.h>

#include "cache/cache_file.h"
#include "locations/product_layout.h"
#include "tests/e2e/launcher_fixture.h"
#include "tests/support/trust_standin_settings.h"

// The launchers against trust services that Wine cannot produce: in this
// prefix the system folder holds the stand-in wintrust.dll, which a launcher
// loads once its DllOverrides prefer the native copy.

namespace {

namespace settings = trust_standin_settings;

std::wstring WithoutTrailingSeparator(const std::wstring& folder) { return folder.substr(0, folder.size() - 1); }

// The second run takes its verdicts from the cache file the first one wrote:
// with trust services that now refuse everything, only the cache can let the
// module in.
TEST_F(LauncherTest, SecondRunTakesVerdictsFromTheCache) {
  const std::wstring launcher = InstallProduct(kPicViewer);
  Copy(Artifact(L"companion-allowed.dll"), VersionFolder(L"1.0") + L"FreeImage.dll");
  PreferLocalCopies(kPicViewer, L"wintrust");
  SetEnvironment(settings::kFileResult, L"0");
  SetEnvironment(settings::kSigner, L"CN=\"Harbor Varo Mobile Software Co., Ltd.\"");
  EXPECT_EQ(Launch(launcher), 3u);
  const std::wstring cacheFile = ProductFolder() + product_layout::kCacheFileName;
  std::vector<CacheEntry> entries;
  bool corrupt = false;
  ASSERT_TRUE(ReadCacheFile(cacheFile, entries, corrupt));
  // The module and the companion. Both are allowed publishers' files, so no
  // file needed the launcher's own publisher, and it was not checked.
  EXPECT_EQ(entries.size(), 2u);

  SetEnvironment(settings::kFileResult, L"80096010");  // TRUST_E_BAD_DIGEST
  SetEnvironment(settings::kSigner, L"CN=Foreign Test Publisher Ltd");
  ::DeleteFileW(record_.c_str());
  EXPECT_EQ(Launch(launcher), 3u);
  EXPECT_TRUE(Recorded());

  // Without the cache the same trust services refuse the module.
  ::DeleteFileW(cacheFile.c_str());
  ::DeleteFileW(record_.c_str());
  EXPECT_EQ(Launch(launcher), 0u);
  EXPECT_FALSE(Recorded());
}

// Catches a check and a load that concern different files: while the trust
// check of the application module is under way, its version folder is moved
// away and a folder with an unsigned module takes its name. Only the file
// that was checked may run, wherever it now lies, or nothing.
TEST_F(LauncherTest, ModuleSwappedDuringItsCheckNeverRuns) {
  const std::wstring launcher = InstallProduct(kPicViewer);
  const std::wstring planted = temp_.Path(L"planted\\");
  Copy(Artifact(L"app-unsigned.dll"), planted + L"VaroImageApp.dll");
  PreferLocalCopies(kPicViewer, L"wintrust");
  // The stand-in calls every file validly signed by an allowed publisher:
  // what counts is which file it was asked about.
  SetEnvironment(settings::kFileResult, L"0");
  SetEnvironment(settings::kSigner, L"CN=\"Harbor Varo Mobile Software Co., Ltd.\"");
  const std::wstring pause = temp_.Path(L"paused");
  SetEnvironment(settings::kPauseFor, L"VaroImageApp.dll");
  SetEnvironment(settings::kPauseFile, pause);

  auto process = StartProcess(launcher, L"");
  ASSERT_TRUE(process);
  ASSERT_TRUE(WaitForFile(pause, kLaunchTimeout)) << "the module's check never started";
  const std::wstring version = WithoutTrailingSeparator(VersionFolder(L"1.0"));
  ASSERT_TRUE(::MoveFileW(version.c_str(), (version + L"-checked").c_str()));
  ASSERT_TRUE(::MoveFileW(WithoutTrailingSeparator(planted).c_str(), version.c_str()));
  ::DeleteFileW(pause.c_str());
  WaitForExit(process, kLaunchTimeout);

  const auto record = Recorded();
  if (record) {
    EXPECT_NE(record->find(L"1.0-checked\\VaroImageApp.dll\n"), std::wstring::npos) << *record;
  } else {
    EXPECT_TRUE(HomePageOpened());
  }
}

// A launch that pauses in the check of the file whose path contains
// `pauseFor`, lets `whilePaused` act on the files meanwhile, and then runs to
// its end.
class PausedLaunchTest : public LauncherTest {
 protected:
  void SetUp() override {
    LauncherTest::SetUp();
    PreferLocalCopies(kPicViewer, L"wintrust");
    SetEnvironment(L"VARO_TEST_MARKERS", markers_);
    FileSystem::CreateDirectoryTree(markers_);
    // Every file that carries a signature is validly signed by an allowed
    // publisher; one without is unsigned, as on Windows.
    SetEnvironment(settings::kFileResult, L"0");
    SetEnvironment(settings::kSigner, L"CN=\"Harbor Varo Mobile Software Co., Ltd.\"");
    SetEnvironment(settings::kUnsignedWithoutCertificates, L"1");
  }

  template <typename Act>
  void LaunchPausingIn(const std::wstring& launcher, const wchar_t* pauseFor, Act whilePaused) {
    const std::wstring pause = temp_.Path(L"paused");
    SetEnvironment(settings::kPauseFor, pauseFor);
    SetEnvironment(settings::kPauseFile, pause);
    auto process = StartProcess(launcher, L"");
    ASSERT_TRUE(process);
    ASSERT_TRUE(WaitForFile(pause, kLaunchTimeout)) << "the check never started";
    whilePaused();
    ::DeleteFileW(pause.c_str());
    WaitForExit(process, kLaunchTimeout);
    SetEnvironment(settings::kPauseFor, L"");
  }

  const std::wstring markers_ = temp_.Path(L"markers\\");
};

// Catches a companion library checked by name and then let go: swapped for
// an unsigned copy right after its check, the copy was what the module's
// import loaded; absent at its check and planted while the module was being
// checked, it was never checked at all.
TEST_F(PausedLaunchTest, CompanionLibraryRunsOnlyAsChecked) {
  const std::wstring launcher = InstallProduct(kPicViewer);
  InstallVersion(L"1.0", L"app-imports-freeimage.dll");
  const std::wstring companion = VersionFolder(L"1.0") + L"FreeImage.dll";
  const std::wstring unsigned_ = Artifact(L"marker.dll");

  Copy(Artifact(L"marker-allowed.dll"), companion);
  bool swapped = true;
  LaunchPausingIn(launcher, L"FreeImage.dll",
                  [&] { swapped = ::CopyFileW(unsigned_.c_str(), companion.c_str(), FALSE) != FALSE; });
  EXPECT_FALSE(swapped) << "the checked companion was replaced";
  EXPECT_NE(Recorded().value_or(L"").find(L"helper=7\n"), std::wstring::npos) << Recorded().value_or(L"");
  EXPECT_EQ(ReadWholeFile(companion), ReadWholeFile(Artifact(L"marker-allowed.dll")));

  // The module's check must not be answered from the cache, or it would not
  // pause.
  for (const std::wstring& file : {record_, markers_ + L"FreeImage.dll.loaded", companion,
                                   ProductFolder() + product_layout::kCacheFileName}) {
    ASSERT_TRUE(::DeleteFileW(file.c_str())) << ::testing::PrintToString(file);
  }
  LaunchPausingIn(launcher, L"VaroImageApp.dll",
                  [&] { ASSERT_TRUE(::CopyFileW(unsigned_.c_str(), companion.c_str(), FALSE)); });
  EXPECT_FALSE(Recorded());
  EXPECT_FALSE(FileSystem::Exists(markers_ + L"FreeImage.dll.loaded"));
  EXPECT_TRUE(HomePageOpened());
}

// Catches CheckSigner pairing one file's verdict with another's stamp: the
// file replaced right after its check was recorded with the replacement's
// size and times, and the next launch trusted the unsigned replacement from
// the cache.
TEST_F(PausedLaunchTest, CheckSignerCachesTheVerdictOfTheFileItChecked) {
  const std::wstring launcher = InstallProduct(kPicViewer);
  const std::wstring checked = VersionFolder(L"1.0") + L"other.dll";
  Copy(Artifact(L"companion-allowed.dll"), checked);
  const std::wstring replacement = temp_.Path(L"replacement.dll");
  Copy(Artifact(L"marker.dll"), replacement);
  SetEnvironment(L"VARO_TEST_APP_CHECK", checked);

  bool replaced = true;
  LaunchPausingIn(launcher, L"other.dll", [&] {
    replaced = ::MoveFileExW(replacement.c_str(), checked.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
  });
  EXPECT_FALSE(replaced) << "the file was replaced while it was checked";

  EXPECT_EQ(Launch(launcher), 3u);
  const bool trusted = Recorded().value_or(L"").find(L"check=trusted\n") != std::wstring::npos;
  EXPECT_EQ(trusted, !replaced) << Recorded().value_or(L"");
}

}  // namespace
