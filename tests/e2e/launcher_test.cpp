#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "cache/cache_constants.h"
#include "cache/cache_file.h"
#include "tests/e2e/launcher_fixture.h"

// The launchers' ordinary runs: arguments and result, hand-over, companion
// checks, the PDF reader's gate.

namespace {

// The whole run: the module found through config.ini gets the launcher's own
// arguments unchanged, and its result is the exit code, negative included.
TEST_F(LauncherTest, PicViewerRunsTheConfiguredVersionAndReturnsItsResult) {
  const std::wstring launcher = InstallProduct(kPicViewer, L"2.0.0.1");

  EXPECT_EQ(Launch(launcher, L"\"C:\\pictures\\a b.png\" /slideshow"), 3u);
  const auto record = Recorded();
  ASSERT_TRUE(record);
  EXPECT_NE(record->find(L"entry=ImageViewerMain\n"), std::wstring::npos) << *record;
  EXPECT_NE(record->find(L"commandLine=\"C:\\pictures\\a b.png\" /slideshow\n"), std::wstring::npos) << *record;
  EXPECT_NE(record->find(L"launcherInstance=yes\n"), std::wstring::npos) << *record;
  EXPECT_FALSE(WasStarted(browser_));

  SetEnvironment(L"VARO_TEST_APP_EXIT", L"-7");
  EXPECT_EQ(static_cast<int>(Launch(launcher)), -7);
}

// The application module asks the launcher's export about files.
TEST_F(LauncherTest, ApplicationModuleCanAskCheckSigner) {
  const std::wstring launcher = InstallProduct(kPicViewer);
  const std::wstring folder = VersionFolder(L"1.0");
  SetEnvironment(L"VARO_TEST_APP_CHECK", folder + L"VaroImageApp.dll");
  EXPECT_EQ(Launch(launcher), 3u);
  EXPECT_NE(Recorded().value_or(L"").find(L"check=trusted\n"), std::wstring::npos);

  Copy(Artifact(L"companion-foreign.dll"), folder + L"other.dll");
  SetEnvironment(L"VARO_TEST_APP_CHECK", folder + L"other.dll");
  EXPECT_EQ(Launch(launcher), 3u);
  EXPECT_NE(Recorded().value_or(L"").find(L"check=refused\n"), std::wstring::npos);
}

TEST_F(LauncherTest, PendingVersionIsHandedOverWhenItsFolderExists) {
  const std::wstring launcher = InstallProduct(kPicViewer);
  InstallVersion(L"2.0");
  WriteIni(L"temp.ini", L"2.0");
  ::SetFileAttributesW((ProductFolder() + L"temp.ini").c_str(), FILE_ATTRIBUTE_READONLY);
  // Only the new version can run: the old one's module is gone.
  ::DeleteFileW((VersionFolder(L"1.0") + L"VaroImageApp.dll").c_str());

  EXPECT_EQ(Launch(launcher), 3u);
  EXPECT_EQ(ConfiguredVersion(), L"2.0");
  EXPECT_FALSE(FileSystem::Exists(ProductFolder() + L"temp.ini"));
}

// Catches a pending version taken while it would not start (half copied, a
// library still missing, a companion refused: from then on no launch starts)
// or consumed while its upgrade is still being copied (lost); and a version
// that would lead out of the application root kept. The installed version
// starts meanwhile, and the launch says why the pending one waits.
TEST_F(LauncherTest, PendingVersionIsTakenOnlyWhenItWouldStart) {
  const std::wstring launcher = InstallProduct(kPicViewer);
  const std::wstring log = ProductFolder() + L"launcher.log";
  // A folder that "..\..\Elsewhere" would reach from the application root.
  FileSystem::CreateDirectoryTree(temp_.Path(L"AppData\\Elsewhere"));
  const std::vector<uint8_t> module = ReadWholeFile(Artifact(L"app-allowed.dll"));
  struct Case {
    const wchar_t* version;
    std::function<void(const std::wstring& folder)> layOut;  // of the version's folder, if any
    bool kept;
  };
  const Case cases[] = {
      {L"3.0", nullptr, true},
      {L"2.0", [](const std::wstring& folder) { FileSystem::CreateDirectoryTree(folder); }, true},
      {L"2.1",
       [&](const std::wstring&) {
         temp_.WriteFile(L"AppData\\VaroPic\\Application\\2.1\\VaroImageApp.dll",
                         std::vector<uint8_t>(module.begin(), module.begin() + module.size() / 2));
       },
       true},
      {L"2.2", [&](const std::wstring&) { InstallVersion(L"2.2", L"app-imports-freeimage.dll"); }, true},
      {L"2.3",
       [&](const std::wstring& folder) {
         InstallVersion(L"2.3");
         Copy(Artifact(L"companion-foreign.dll"), folder + L"FreeImage.dll");
       },
       true},
      {L"..\\..\\Elsewhere", nullptr, false},
      {L"1.0\\..\\..\\..\\Elsewhere", nullptr, false},
  };
  for (const Case& c : cases) {
    const std::wstring version = c.version;
    SCOPED_TRACE(::testing::PrintToString(version));
    if (c.layOut) c.layOut(VersionFolder(version));
    WriteIni(L"temp.ini", version);
    ::DeleteFileW(log.c_str());

    EXPECT_EQ(Launch(launcher), 3u);
    EXPECT_EQ(ConfiguredVersion(), L"1.0");
    EXPECT_EQ(FileSystem::Exists(ProductFolder() + L"temp.ini"), c.kept);
    const std::vector<uint8_t> bytes = FileSystem::Exists(log) ? ReadWholeFile(log) : std::vector<uint8_t>();
    const std::wstring trace(bytes.begin(), bytes.end());
    EXPECT_NE(trace.find(L"outcome \"hand-over not done\""), std::wstring::npos) << ::testing::PrintToString(trace);
    if (c.kept) {
      EXPECT_NE(trace.find(L"(version " + version + L")"), std::wstring::npos) << ::testing::PrintToString(trace);
    }
  }

  // A version written before its module, which arrives later: taken then.
  WriteIni(L"temp.ini", L"2.0");
  EXPECT_EQ(Launch(launcher), 3u);
  EXPECT_EQ(ConfiguredVersion(), L"1.0");
  InstallVersion(L"2.0");
  EXPECT_EQ(Launch(launcher), 3u);
  EXPECT_EQ(ConfiguredVersion(), L"2.0");
  EXPECT_FALSE(FileSystem::Exists(ProductFolder() + L"temp.ini"));
}

// While another launcher of the family runs, the hand-over waits for a later
// launch.
TEST_F(LauncherTest, HandOverIsSkippedWhileAnotherLauncherRuns) {
  const std::wstring launcher = InstallLauncher(kPdfReader);
  InstallVersion(L"1.0");
  InstallVersion(L"2.0");
  WriteIni(L"config.ini", L"1.0");
  WriteIni(L"temp.ini", L"2.0");
  platform::UniqueKernelHandle running(::CreateMutexW(nullptr, FALSE, L"QMImage_Update_Config_Ini"));
  ASSERT_TRUE(running);

  EXPECT_EQ(Launch(launcher), 3u);
  EXPECT_EQ(ConfiguredVersion(), L"1.0");
  EXPECT_TRUE(FileSystem::Exists(ProductFolder() + L"temp.ini"));

  running.Reset();
  EXPECT_EQ(Launch(launcher), 3u);
  EXPECT_EQ(ConfiguredVersion(), L"2.0");
}

TEST_F(LauncherTest, CompanionsSignedByAllowedPublishersOrAbsentLetTheLaunchGoOn) {
  const std::wstring launcher = InstallProduct(kPicViewer);
  const std::wstring folder = VersionFolder(L"1.0");
  EXPECT_EQ(Launch(launcher), 3u);

  for (const wchar_t* companion : {L"VaroImageThumb64.dll", L"FreeImage.dll", L"FreeImagePlus.dll"}) {
    Copy(Artifact(L"companion-allowed.dll"), folder + companion);
  }
  EXPECT_EQ(Launch(launcher), 3u);
  EXPECT_FALSE(WasStarted(browser_));
}

// A foreign companion stops the launch with the notice, which sends the user
// to the home page. On a 64-bit system the 32-bit thumbnail module is not
// looked at.
TEST_F(LauncherTest, ForeignCompanionStopsTheLaunch) {
  const std::wstring launcher = InstallProduct(kPicViewer);
  const std::wstring folder = VersionFolder(L"1.0");
  Copy(Artifact(L"companion-foreign.dll"), folder + L"VaroImageThumb.dll");
  EXPECT_EQ(Launch(launcher), 3u);
  EXPECT_FALSE(WasStarted(browser_));

  Copy(Artifact(L"companion-foreign.dll"), folder + L"FreeImagePlus.dll");
  ::DeleteFileW(record_.c_str());
  EXPECT_EQ(Launch(launcher), 0u);
  EXPECT_FALSE(Recorded());
  EXPECT_TRUE(HomePageOpened());
}

TEST_F(LauncherTest, ForeignThumbnailModuleStopsTheLaunch) {
  const std::wstring launcher = InstallProduct(kPicViewer);
  const std::wstring folder = VersionFolder(L"1.0");
  Copy(Artifact(L"companion-foreign.dll"), folder + L"VaroImageThumb64.dll");
  EXPECT_EQ(Launch(launcher), 0u);
  EXPECT_FALSE(Recorded());
  EXPECT_TRUE(HomePageOpened());
}

// Without a usable application module the launcher ends quietly with 0; a
// refused one gets the notice.
TEST_F(LauncherTest, MissingOrUnusableApplicationModule) {
  const std::wstring launcher = InstallLauncher(kPicViewer);
  const std::wstring folder = VersionFolder(L"1.0");
  FileSystem::CreateDirectoryTree(folder);
  WriteIni(L"config.ini", L"1.0");
  EXPECT_EQ(Launch(launcher), 0u);  // missing

  FileSystem::CreateDirectoryTree(folder + L"VaroImageApp.dll");
  EXPECT_EQ(Launch(launcher), 0u);  // a directory
  ::RemoveDirectoryW((folder + L"VaroImageApp.dll").c_str());

  Copy(Artifact(L"no-entry.dll"), folder + L"VaroImageApp.dll");
  EXPECT_EQ(Launch(launcher), 0u);  // no entry export
  EXPECT_FALSE(Recorded());
  EXPECT_FALSE(WasStarted(browser_));

  Copy(Artifact(L"app-foreign.dll"), folder + L"VaroImageApp.dll");
  EXPECT_EQ(Launch(launcher), 0u);
  EXPECT_FALSE(Recorded());
  EXPECT_TRUE(HomePageOpened());
}

class PdfReaderGateTest : public LauncherTest {
 protected:
  void RunAs(const wchar_t* windowsVersion) {
    registry_.SetText(HKEY_CURRENT_USER, 0, L"Software\\Wine\\AppDefaults\\VaroPdfReader.exe", L"Version",
                      windowsVersion);
  }
};

// Windows 7 and later pass (Windows 10 through kernel32's file version); an
// older system gets the message and nothing else happens.
TEST_F(PdfReaderGateTest, OlderSystemsAreRefused) {
  const std::wstring launcher = InstallProduct(kPdfReader);
  WriteIni(L"temp.ini", L"1.0");

  RunAs(L"vista");
  EXPECT_EQ(Launch(launcher), 0u);
  EXPECT_FALSE(Recorded());
  EXPECT_TRUE(FileSystem::Exists(ProductFolder() + L"temp.ini"));  // nothing touched

  for (const wchar_t* version : {L"win7", L"win10"}) {
    RunAs(version);
    EXPECT_EQ(Launch(launcher), 3u) << version;
    EXPECT_NE(Recorded().value_or(L"").find(L"entry=PdfReaderMain\n"), std::wstring::npos) << version;
  }
}

// The picture viewer has no gate at all.
TEST_F(PdfReaderGateTest, PictureViewerRunsOnAnySystem) {
  const std::wstring launcher = InstallProduct(kPicViewer);
  registry_.SetText(HKEY_CURRENT_USER, 0, L"Software\\Wine\\AppDefaults\\VaroPicViewer.exe", L"Version", L"winxp");
  EXPECT_EQ(Launch(launcher), 3u);
}

}  // namespace
