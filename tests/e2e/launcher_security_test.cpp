#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cache/cache_file.h"
#include "locations/product_layout.h"
#include "platform/unique_handle.h"
#include "tests/e2e/launcher_fixture.h"

// Launches set up the way an attacker would: a launcher renamed while it
// runs, libraries planted beside it
// under system and run-time names, a damaged cache record, side files that
// cannot be deleted or converted. Each must end with no foreign code running
// and a product that still starts.

namespace {

class LauncherSecurityTest : public LauncherTest {
 protected:
  void SetUp() override {
    LauncherTest::SetUp();
    SetEnvironment(L"VARO_TEST_MARKERS", markers_);
    FileSystem::CreateDirectoryTree(markers_);
  }

  // Whether a marker library planted as `name` ran its start-up code.
  bool MarkerLoaded(const std::wstring& name) const { return FileSystem::Exists(markers_ + name + L".loaded"); }

  // The application module of version 1.0 replaced by `module`.
  void ReplaceModule(const wchar_t* module) { Copy(Artifact(module), VersionFolder(L"1.0") + L"VaroImageApp.dll"); }

  const std::wstring markers_ = temp_.Path(L"markers\\");
};

// Catches a launcher that looks up its own publisher by its file name when
// asked: once the running launcher is renamed the name leads nowhere, and
// "no readable signer" accepted every file.
TEST_F(LauncherSecurityTest, RenamedLauncherKeepsRefusingForeignFiles) {
  const std::wstring launcher = InstallProduct(kPicViewer);
  const std::wstring foreign = VersionFolder(L"1.0") + L"other.dll";
  Copy(Artifact(L"companion-foreign.dll"), foreign);
  const std::wstring gate = temp_.Path(L"gate");
  SetEnvironment(L"VARO_TEST_APP_GATE", gate);
  SetEnvironment(L"VARO_TEST_APP_CHECK", foreign);

  auto process = StartProcess(launcher, L"");
  ASSERT_TRUE(process);
  ASSERT_TRUE(WaitForFile(gate + L".ready", kLaunchTimeout)) << "the application module did not start";
  ASSERT_TRUE(::MoveFileW(launcher.c_str(), (launcher + L".moved").c_str()));
  temp_.WriteFile(L"gate", std::vector<uint8_t>());
  EXPECT_EQ(WaitForExit(process, kLaunchTimeout), 3u);
  EXPECT_NE(Recorded().value_or(L"").find(L"check=refused\n"), std::wstring::npos) << Recorded().value_or(L"");
}

// Catches trust libraries loaded by the default search, which looks in the
// launcher's folder first: empty copies there left the launcher without a
// signer of its own, and then every module was accepted.
TEST_F(LauncherSecurityTest, TrustLibrariesBesideTheLauncherAreNotLoaded) {
  const std::wstring launcher = InstallProduct(kPicViewer);
  ReplaceModule(L"app-unsigned.dll");
  for (const wchar_t* name : {L"wintrust.dll", L"crypt32.dll"}) {
    Copy(Artifact(L"marker.dll"), launcherFolder_ + name);
    PreferLocalCopies(kPicViewer, std::wstring(name).substr(0, std::wstring(name).find(L'.')).c_str());
  }

  EXPECT_EQ(Launch(launcher), 0u);
  EXPECT_FALSE(Recorded());
  EXPECT_FALSE(MarkerLoaded(L"wintrust.dll"));
  EXPECT_FALSE(MarkerLoaded(L"crypt32.dll"));
}

// Catches a run-time preload that runs whatever carries the run-time's name
// beside a copy of the launcher; a genuine copy is still preloaded.
TEST_F(LauncherSecurityTest, OnlyGenuineRunTimeLibrariesArePreloaded) {
  const std::wstring launcher = InstallProduct(kPicViewer);
  for (const wchar_t* name : {L"vcruntime140", L"msvcp140"}) {
    Copy(Artifact(L"marker.dll"), launcherFolder_ + name + L".dll");
    PreferLocalCopies(kPicViewer, name);
  }
  EXPECT_EQ(Launch(launcher), 3u);
  EXPECT_FALSE(MarkerLoaded(L"vcruntime140.dll"));
  EXPECT_FALSE(MarkerLoaded(L"msvcp140.dll"));

  Copy(Artifact(L"marker-allowed.dll"), launcherFolder_ + L"vcruntime140.dll");
  EXPECT_EQ(Launch(launcher), 3u);
  EXPECT_TRUE(MarkerLoaded(L"vcruntime140.dll"));
  EXPECT_FALSE(MarkerLoaded(L"msvcp140.dll"));
}

// Catches a re-check after a stale cache answer that compares only with the
// launcher's own publisher: a module of another allowed publisher whose
// record names a wrong signer must still load in the same launch.
TEST_F(LauncherSecurityTest, DamagedCacheRecordDoesNotRefuseAnAllowedModule) {
  const std::wstring launcher = InstallProduct(kPicViewer);
  EXPECT_EQ(Launch(launcher), 3u);
  const std::wstring cacheFile = ProductFolder() + product_layout::kCacheFileName;
  std::vector<CacheEntry> entries;
  bool corrupt = false;
  ASSERT_TRUE(ReadCacheFile(cacheFile, entries, corrupt));
  bool damaged = false;
  for (CacheEntry& entry : entries) {
    if (entry.path.find(L"VaroImageApp.dll") == std::wstring::npos) continue;
    entry.signer = L"Foreign Test Publisher Ltd";
    damaged = true;
  }
  ASSERT_TRUE(damaged);
  ASSERT_TRUE(WriteCacheFile(cacheFile, entries));

  ::DeleteFileW(record_.c_str());
  EXPECT_EQ(Launch(launcher), 3u);
  EXPECT_TRUE(Recorded());
  EXPECT_FALSE(WasStarted(browser_));
}

// Catches "config.ini" rewritten while the side file stays: the same version
// would be handed over again at every launch.
TEST_F(LauncherSecurityTest, SideFileThatCannotBeDeletedLeavesConfigAlone) {
  const std::wstring launcher = InstallProduct(kPicViewer);
  InstallVersion(L"2.0");
  WriteIni(L"temp.ini", L"2.0");
  {
    // Readable by others, but nobody may delete it while this is open.
    platform::UniqueFileHandle held(::CreateFileW((ProductFolder() + L"temp.ini").c_str(), GENERIC_READ,
                                                  FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    EXPECT_EQ(Launch(launcher), 3u);
    EXPECT_EQ(ConfiguredVersion(), L"1.0");
    EXPECT_TRUE(FileSystem::Exists(ProductFolder() + L"temp.ini"));
  }
  EXPECT_EQ(Launch(launcher), 3u);
  EXPECT_EQ(ConfiguredVersion(), L"2.0");
  EXPECT_FALSE(FileSystem::Exists(ProductFolder() + L"temp.ini"));
}

// Catches a version that "config.ini" cannot hold: written into the ANSI
// file it came back as another name, and from then on no launch ran
// anything.
TEST_F(LauncherSecurityTest, NonAsciiPendingVersionKeepsTheProductRunning) {
  const std::wstring launcher = InstallProduct(kPicViewer);
  InstallVersion(L"版本2");
  const std::wstring text = L"\xFEFF[Upgrade]\r\nVersion=版本2\r\n";
  std::vector<uint8_t> bytes(reinterpret_cast<const uint8_t*>(text.data()),
                             reinterpret_cast<const uint8_t*>(text.data() + text.size()));
  temp_.WriteFile(L"AppData\\VaroPic\\temp.ini", bytes);

  EXPECT_EQ(Launch(launcher), 3u);
  EXPECT_EQ(ConfiguredVersion(), L"1.0");
  EXPECT_FALSE(FileSystem::Exists(ProductFolder() + L"temp.ini"));
  EXPECT_EQ(Launch(launcher), 3u);
}

}  // namespace
