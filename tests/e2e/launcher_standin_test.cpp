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
  // The module, the companion and the launcher itself.
  EXPECT_EQ(entries.size(), 3u);

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

}  // namespace
