// Runs beside a stand-in shell32.dll (see tests/support/standin_shell32) that
// answers like the shell of a launcher under the system account: the system
// profile for the process's own identity, the user's folder for a thread that
// impersonates the user at the console. Like Windows, it also names folders
// longer than MAX_PATH, and it counts the questions.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "host/upgrade_handover.h"
#include "locations/interactive_user_impersonation.h"
#include "locations/product_paths.h"
#include "locations/product_user.h"
#include "platform/file_system.h"
#include "platform/win.h"
#include "signer/web_page_opener.h"
#include "tests/support/browser_test_fixture.h"
#include "tests/support/interactive_shell.h"
#include "tests/support/temp_folder.h"
#include "tests/support/thread_token.h"

namespace {

constexpr wchar_t kSystemProfile[] = L"C:\\windows\\system32\\config\\systemprofile\\AppData\\Roaming";

// Sets an environment variable of this process for one scope.
class ScopedVariable {
 public:
  ScopedVariable(const wchar_t* name, const std::optional<std::wstring>& value) : name_(name) {
    wchar_t previous[1024] = {};
    const DWORD length = ::GetEnvironmentVariableW(name, previous, 1024);
    if (length != 0 && length < 1024) previous_ = previous;
    ::SetEnvironmentVariableW(name, value ? value->c_str() : nullptr);
  }
  ~ScopedVariable() { ::SetEnvironmentVariableW(name_, previous_ ? previous_->c_str() : nullptr); }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const wchar_t* name_;
  std::optional<std::wstring> previous_;
};

class SystemAccountPathsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(StartInteractiveShell()); }

  TempFolder temp_;
  ScopedVariable system_{L"VARO_STANDIN_PROCESS_APPDATA", kSystemProfile};
};

// Under the system account the product must be found in the console user's
// profile, asked for while impersonating, and the thread must be itself
// again afterwards.
TEST_F(SystemAccountPathsTest, DataRootIsTheConsoleUsersFolder) {
  const std::wstring userFolder = temp_.Path(L"Roaming");
  ScopedVariable user(L"VARO_STANDIN_USER_APPDATA", userFolder);
  std::wstring own;
  ASSERT_TRUE(ProductPaths::RoamingAppData(own));
  ASSERT_EQ(own, kSystemProfile) << "the stand-in shell is not in use";

  EXPECT_EQ(ProductPaths::DataRoot(), userFolder);
  EXPECT_FALSE(ThreadImpersonates());
  EXPECT_EQ(ProductPaths::ProductDataDirectory(), userFolder + L"\\VaroPic\\");

  temp_.WriteFile(L"Roaming\\VaroPic\\config.ini", "[Upgrade]\r\nVersion=5.0\r\n");
  const std::wstring version = userFolder + L"\\VaroPic\\Application\\5.0\\";
  ASSERT_TRUE(FileSystem::CreateDirectoryTree(version));
  EXPECT_EQ(ProductPaths::ApplicationDirectory(L"VaroPic", L"config.ini", L"Upgrade", L"Version"), version);
}

// When the impersonated answer is the system profile too (whatever its
// case), there is no user folder to use.
TEST_F(SystemAccountPathsTest, NoUserFolderGivesNoDataRoot) {
  ScopedVariable user(L"VARO_STANDIN_USER_APPDATA", L"C:\\Windows\\System32\\Config\\SystemProfile\\AppData");
  EXPECT_EQ(ProductPaths::DataRoot(), L"");
  EXPECT_FALSE(ThreadImpersonates());
}

// When the shell names no folder, %APPDATA% is the answer, whole at any
// length, and without either there is none.
TEST_F(SystemAccountPathsTest, WithoutShellFolderAppDataVariableIsUsed) {
  ScopedVariable noFolder(L"VARO_STANDIN_NO_FOLDER", L"1");
  for (const std::wstring& value : {temp_.Path(L"FromVariable"), L"C:\\" + std::wstring(600, L'x')}) {
    ScopedVariable appData(L"APPDATA", value);
    std::wstring folder;
    EXPECT_TRUE(ProductPaths::RoamingAppData(folder));
    EXPECT_EQ(folder, value);
  }
  ScopedVariable appData(L"APPDATA", std::nullopt);
  std::wstring folder = L"untouched";
  EXPECT_FALSE(ProductPaths::RoamingAppData(folder));
  EXPECT_EQ(folder, L"untouched");
}

// A roaming folder longer than MAX_PATH, which SHGetFolderPathW cannot name,
// must still be the shell's answer, whole, for the data root and the cache.
TEST_F(SystemAccountPathsTest, LongShellFolderIsUsedWhole) {
  const std::wstring folder = PathOfLength(temp_.Path(L"Roaming"), 400);
  ScopedVariable own(L"VARO_STANDIN_PROCESS_APPDATA", folder);
  ScopedVariable appData(L"APPDATA", temp_.Path(L"FromVariable"));
  ASSERT_TRUE(FileSystem::CreateDirectoryTree(folder + L"\\VaroPic"));

  EXPECT_EQ(ProductPaths::DataRoot(), folder);
  EXPECT_EQ(ProductPaths::SignerCacheLocation(), folder + L"\\VaroPic\\SignCache.dat");
}

// The process's own folder is asked for once however often it is needed,
// while a thread that impersonates the user is asked for each time and its
// answer, the user's, never becomes the process's own.
TEST_F(SystemAccountPathsTest, OwnFolderIsAskedOnceAndKeptApartFromTheUsers) {
  ScopedVariable queries(L"VARO_STANDIN_FOLDER_QUERIES", L"0");
  ScopedVariable user(L"VARO_STANDIN_USER_APPDATA", temp_.Path(L"User"));
  std::wstring folder;
  {
    InteractiveUserImpersonation asUser;
    ASSERT_TRUE(asUser.Begin());
    ASSERT_TRUE(ProductPaths::RoamingAppData(folder));
    EXPECT_EQ(folder, temp_.Path(L"User"));
  }
  ASSERT_TRUE(ProductPaths::RoamingAppData(folder));
  EXPECT_EQ(folder, kSystemProfile);

  EXPECT_TRUE(ProductPaths::RunsAsSystemAccount());
  EXPECT_EQ(ProductPaths::SignerCacheLocation(), L"");
  EXPECT_EQ(ProductPaths::DataRoot(), temp_.Path(L"User"));
  ScopedVariable otherUser(L"VARO_STANDIN_USER_APPDATA", temp_.Path(L"Other"));
  EXPECT_EQ(ProductPaths::DataRoot(), temp_.Path(L"Other"));
  wchar_t count[16] = {};
  ::GetEnvironmentVariableW(L"VARO_STANDIN_FOLDER_QUERIES", count, 16);
  EXPECT_STREQ(count, L"4") << "expected one question for the process, three while impersonating";
}

// Without an application-data folder the cache location must not become
// "\VaroPic\..." at the root of the current drive.
TEST_F(SystemAccountPathsTest, SignerCacheLocationWithoutShellFolderIsEmpty) {
  ScopedVariable noFolder(L"VARO_STANDIN_NO_FOLDER", L"1");
  wchar_t previous[MAX_PATH] = {};
  ::GetCurrentDirectoryW(MAX_PATH, previous);
  ASSERT_TRUE(::SetCurrentDirectoryW(temp_.Path().c_str()));
  const bool madeRootFolder = FileSystem::CreateDirectoryTree(L"\\VaroPic");
  const std::wstring location = ProductPaths::SignerCacheLocation();
  if (madeRootFolder) ::RemoveDirectoryW(L"\\VaroPic");
  ::SetCurrentDirectoryW(previous);
  ASSERT_TRUE(madeRootFolder);
  EXPECT_EQ(location, L"");
}

// Catches work on the user's product folder done with the system account's
// own rights, where a link the user planted leads to any file.
TEST_F(SystemAccountPathsTest, ProductUserWorkRunsAsTheUser) {
  ASSERT_TRUE(ProductPaths::RunsAsSystemAccount()) << "the stand-in shell is not in use";
  bool impersonated = false;
  EXPECT_TRUE(RunAsProductUser([&impersonated] { impersonated = ThreadImpersonates(); }));
  EXPECT_TRUE(impersonated);
  EXPECT_FALSE(ThreadImpersonates());
}

// The hand-over finds, judges, consumes and writes the user's files, not the
// system profile's.
TEST_F(SystemAccountPathsTest, HandOverMovesTheUsersPendingVersion) {
  const std::wstring userFolder = temp_.Path(L"Roaming");
  ScopedVariable user(L"VARO_STANDIN_USER_APPDATA", userFolder);
  temp_.WriteFile(L"Roaming\\VaroPic\\config.ini", "[Upgrade]\r\nVersion=1.0\r\n");
  temp_.WriteFile(L"Roaming\\VaroPic\\temp.ini", "[Upgrade]\r\nVersion=2.0\r\n");
  temp_.WriteFile(L"Roaming\\VaroPic\\Application\\2.0\\VaroImageApp.dll", "module");

  bool judgedAsUser = false;
  RunUpgradeHandover(L"VaroImageApp.dll", [&judgedAsUser](const std::wstring&) {
    judgedAsUser = ThreadImpersonates();
    return std::wstring();
  });
  EXPECT_TRUE(judgedAsUser);
  wchar_t version[16] = {};
  ::GetPrivateProfileStringW(L"Upgrade", L"Version", L"", version, 16, (userFolder + L"\\VaroPic\\config.ini").c_str());
  EXPECT_STREQ(version, L"2.0");
  EXPECT_FALSE(FileSystem::Exists(userFolder + L"\\VaroPic\\temp.ini"));
  EXPECT_FALSE(ThreadImpersonates());

  // Once per process: a later load finds a new side file left alone.
  temp_.WriteFile(L"Roaming\\VaroPic\\temp.ini", "[Upgrade]\r\nVersion=3.0\r\n");
  RunUpgradeHandover(L"VaroImageApp.dll", [](const std::wstring&) { return std::wstring(); });
  EXPECT_TRUE(FileSystem::Exists(userFolder + L"\\VaroPic\\temp.ini"));
}

class SystemAccountBrowserTest : public BrowserTestFixture {
 protected:
  ScopedVariable system_{L"VARO_STANDIN_PROCESS_APPDATA", kSystemProfile};
};

// Catches a browser started by the system account: it would browse with
// that account's rights on the user's desktop.
TEST_F(SystemAccountBrowserTest, NoBrowserIsStarted) {
  const std::wstring browser = Install(Browser::VaroExplorer);
  EXPECT_EQ(OpenWebPage(L"https://www.varoview.example/"), 0u);
  EXPECT_FALSE(WasStarted(browser));
}

}  // namespace
