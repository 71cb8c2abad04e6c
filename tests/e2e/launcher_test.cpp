#include <gtest/gtest.h>

#include <optional>

#include "cache/cache_constants.h"
#include "cache/cache_file.h"
#include "locations/file_system.h"
#include "tests/signer/browser_test_fixture.h"
#include "tests/support/app_data_redirection.h"
#include "tests/support/child_process.h"
#include "tests/support/trust_standin_settings.h"

// The real launchers, run as a user would run them, in a product laid out
// under a roaming application-data folder of the test's own. The tests see
// only what a user or another process could: exit codes, files, registry
// values and started programs. The launchers are signed by an allowed
// publisher, so the own-publisher rule refuses foreign files.

namespace {

constexpr wchar_t kPicViewer[] = L"VaroPicViewer.exe";
constexpr wchar_t kPdfReader[] = L"VaroPdfReader.exe";
constexpr DWORD kLaunchTimeout = 60000;

std::wstring Environment(const wchar_t* name) {
  wchar_t value[1024] = {};
  const DWORD length = ::GetEnvironmentVariableW(name, value, 1024);
  return length < 1024 ? value : L"";
}

void SetEnvironment(const wchar_t* name, const std::wstring& value) { ::SetEnvironmentVariableW(name, value.c_str()); }

class LauncherTest : public BrowserTestFixture {
 protected:
  void SetUp() override {
    BrowserTestFixture::SetUp();
    artifacts_ = Environment(L"VARO_E2E");
    ASSERT_FALSE(artifacts_.empty()) << "VARO_E2E is not set";
    ASSERT_TRUE(FileSystem::CreateDirectoryTree(temp_.Path(L"AppData")));
    appData_.emplace(temp_.Path(L"AppData"));
    browser_ = Install(Browser::VaroExplorer);
    SetEnvironment(L"VARO_TEST_APP_RECORD", record_);
  }

  void TearDown() override {
    appData_.reset();
    BrowserTestFixture::TearDown();
  }

  std::wstring Artifact(const std::wstring& name) const { return artifacts_ + L"\\" + name; }

  void Copy(const std::wstring& from, const std::wstring& to) const {
    FileSystem::CreateDirectoryTree(to.substr(0, to.find_last_of(L'\\')));
    ASSERT_TRUE(::CopyFileW(from.c_str(), to.c_str(), FALSE)) << "cannot copy to " << ::testing::PrintToString(to);
  }

  // The launcher in a folder of its own; signed by an allowed publisher
  // unless told otherwise.
  std::wstring InstallLauncher(const wchar_t* program, bool signedLauncher = true) {
    const std::wstring target = launcherFolder_ + program;
    Copy(Artifact(std::wstring(signedLauncher ? L"signed\\" : L"unsigned\\") + program), target);
    return target;
  }

  std::wstring ProductFolder() const { return temp_.Path(L"AppData\\VaroPic\\"); }
  std::wstring VersionFolder(const std::wstring& version) const {
    return ProductFolder() + L"Application\\" + version + L"\\";
  }

  // A version folder with the application module in it, named as the
  // launcher looks for it.
  std::wstring InstallVersion(const std::wstring& version, const std::wstring& module = L"app-allowed.dll") {
    const std::wstring folder = VersionFolder(version);
    FileSystem::CreateDirectoryTree(folder);
    Copy(Artifact(module), folder + L"VaroImageApp.dll");
    Copy(Artifact(module), folder + L"VaroPdfApp.dll");
    return folder;
  }

  // The launcher and version `version` of the product, recorded in
  // config.ini as the installed one; returns the launcher's path.
  std::wstring InstallProduct(const wchar_t* program, const std::wstring& version = L"1.0") {
    InstallVersion(version);
    WriteIni(L"config.ini", version);
    return InstallLauncher(program);
  }

  void WriteIni(const std::wstring& file, const std::wstring& version) const {
    FileSystem::CreateDirectoryTree(ProductFolder());
    ASSERT_TRUE(::WritePrivateProfileStringW(L"Upgrade", L"Version", version.c_str(), (ProductFolder() + file).c_str()));
  }

  std::wstring ConfiguredVersion() const {
    wchar_t value[261] = {};
    ::GetPrivateProfileStringW(L"Upgrade", L"Version", L"", value, 260, (ProductFolder() + L"config.ini").c_str());
    return value;
  }

  // Runs the launcher to its end; its exit code.
  DWORD Launch(const std::wstring& program, const std::wstring& arguments = L"") const {
    auto process = StartProcess(program, arguments);
    EXPECT_TRUE(process) << "cannot start " << ::testing::PrintToString(program);
    return WaitForExit(process, kLaunchTimeout);
  }

  // What the application module recorded, if it ran.
  std::optional<std::wstring> Recorded() const {
    if (!FileSystem::IsFile(record_)) return std::nullopt;
    return ReadWholeWideFile(record_);
  }

  bool HomePageOpened() const {
    const auto arguments = ArgumentsOf(browser_);
    return arguments && *arguments == std::vector<std::wstring>{L"https://www.varoview.example/"};
  }

  std::wstring artifacts_;
  std::optional<AppDataRedirection> appData_;
  std::wstring browser_;
  const std::wstring launcherFolder_ = temp_.Path(L"bin\\");
  const std::wstring record_ = temp_.Path(L"record.txt");
};

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

// A pending version that is not installed, or that would lead out of the
// application root, is consumed without touching config.ini.
TEST_F(LauncherTest, UnusablePendingVersionIsDropped) {
  const std::wstring launcher = InstallProduct(kPicViewer);
  // A folder that "..\..\Elsewhere" would reach from the application root.
  FileSystem::CreateDirectoryTree(temp_.Path(L"AppData\\Elsewhere"));
  for (const wchar_t* version : {L"3.0", L"..\\..\\Elsewhere", L"1.0\\..\\..\\..\\Elsewhere"}) {
    WriteIni(L"temp.ini", version);
    EXPECT_EQ(Launch(launcher), 3u) << version;
    EXPECT_EQ(ConfiguredVersion(), L"1.0") << version;
    EXPECT_FALSE(FileSystem::Exists(ProductFolder() + L"temp.ini")) << version;
  }
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

// The second run takes its verdicts from the cache file the first one wrote:
// with trust services that now refuse everything, only the cache can let the
// module in.
TEST_F(LauncherTest, SecondRunTakesVerdictsFromTheCache) {
  const std::wstring launcher = InstallProduct(kPicViewer);
  Copy(Artifact(L"companion-allowed.dll"), VersionFolder(L"1.0") + L"FreeImage.dll");
  EXPECT_EQ(Launch(launcher), 3u);
  const std::wstring cacheFile = ProductFolder() + cache_constants::kFileName;
  std::vector<CacheEntry> entries;
  bool corrupt = false;
  ASSERT_TRUE(ReadCacheFile(cacheFile, entries, corrupt));
  EXPECT_EQ(entries.size(), 2u);

  Copy(SiblingProgram(L"standin\\wintrust.dll"), launcherFolder_ + L"wintrust.dll");
  // Wine takes the launcher's DLL overrides from the registry; an
  // environment variable set here would not reach the child's loader.
  registry_.SetText(HKEY_CURRENT_USER, 0, L"Software\\Wine\\AppDefaults\\VaroPicViewer.exe\\DllOverrides", L"wintrust",
                    L"native,builtin");
  SetEnvironment(TrustStandInSettings::kFileResult, L"80096010");  // TRUST_E_BAD_DIGEST
  SetEnvironment(TrustStandInSettings::kSigner, L"CN=Foreign Test Publisher Ltd");
  ::DeleteFileW(record_.c_str());
  EXPECT_EQ(Launch(launcher), 3u);
  EXPECT_TRUE(Recorded());

  // Without the cache the same trust services refuse the module.
  ::DeleteFileW(cacheFile.c_str());
  ::DeleteFileW(record_.c_str());
  EXPECT_EQ(Launch(launcher), 0u);
  EXPECT_FALSE(Recorded());
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
