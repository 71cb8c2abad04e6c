#include "locations/product_paths.h"

#include <gtest/gtest.h>


#include "platform/file_system.h"
#include "platform/path_text.h"
#include "platform/win.h"
#include "tests/support/registry_changes.h"
#include "tests/support/temp_folder.h"
#include "tests/support/thread_token.h"

namespace {

// Every test here redirects the prefix's AppData folder or writes
// HKLM\SOFTWARE\VaroPic; the program runs under both resource locks.
class ProductPathsTest : public ::testing::Test {
 protected:
  // Redirects AppData to `relative` below the test's folder (created here)
  // and returns the folder.
  std::wstring RedirectAppData(const std::wstring& relative) {
    const std::wstring folder = temp_.Path(relative);
    EXPECT_TRUE(FileSystem::CreateDirectoryTree(folder));
    EXPECT_TRUE(registry_.RedirectAppData(folder));
    return folder;
  }

  // The version folder `name` below the application root, created.
  std::wstring MakeVersionFolder(const std::wstring& name) {
    const std::wstring folder = root_ + L"\\VaroPic\\Application\\" + name + L"\\";
    EXPECT_TRUE(FileSystem::CreateDirectoryTree(folder));
    return folder;
  }

  void ConfigureVersion(const std::wstring& version) {
    const std::wstring productFolder = root_ + L"\\VaroPic\\";
    ASSERT_TRUE(FileSystem::CreateDirectoryTree(productFolder));
    ASSERT_TRUE(::WritePrivateProfileStringW(L"Upgrade", L"Version", version.c_str(),
                                             (productFolder + L"config.ini").c_str()));
  }

  static std::wstring FindApplicationDirectory() {
    return ProductPaths::ApplicationDirectory(L"VaroPic", L"config.ini", L"Upgrade", L"Version");
  }

  void SetUp() override { root_ = RedirectAppData(L"Roaming"); }

  TempFolder temp_;
  RegistryChanges registry_;
  std::wstring root_;
};

// The shell's answer may differ in case and separators from what was written.
std::wstring Comparable(std::wstring path) {
  PathText::Normalize(path, PathText::OneTrailingSeparator);
  return PathText::ToLower(path);
}

// The data root and the folders below it must follow the user's AppData
// folder, not %APPDATA% or a fixed profile path, with one separator between.
TEST_F(ProductPathsTest, FoldersFollowTheUsersAppData) {
  std::wstring folder;
  ASSERT_TRUE(ProductPaths::RoamingAppData(folder));
  EXPECT_EQ(Comparable(folder), Comparable(root_));
  const std::wstring dataRoot = ProductPaths::DataRoot();
  EXPECT_EQ(Comparable(dataRoot), Comparable(root_));

  std::wstring base = dataRoot;
  PathText::Normalize(base, PathText::NoTrailingSeparator);
  EXPECT_EQ(ProductPaths::ProductDataDirectory(), base + L"\\VaroPic\\");
  EXPECT_EQ(ProductPaths::ApplicationRoot(), base + L"\\VaroPic\\Application\\");
}

// An AppData folder in the system profile, where no interactive user's answer
// differs from it, must give no data root at all rather than the system's.
TEST_F(ProductPathsTest, SystemProfileGivesNoDataRoot) {
  RedirectAppData(L"Windows\\System32\\Config\\SystemProfile\\AppData\\Roaming");
  EXPECT_EQ(ProductPaths::DataRoot(), L"");
  EXPECT_EQ(ProductPaths::ProductDataDirectory(), L"VaroPic\\");
  EXPECT_EQ(ProductPaths::ApplicationRoot(), L"VaroPic\\Application\\");

  EXPECT_FALSE(ThreadImpersonates()) << "impersonation left open";
}

// Without a data root, a "config.ini" below the current folder must not
// choose the folder to load code from.
TEST_F(ProductPathsTest, WithoutDataRootTheCurrentFolderChoosesNothing) {
  RedirectAppData(L"config\\systemprofile");
  TempFolder current;
  current.WriteFile(L"VaroPic\\config.ini", "[Upgrade]\r\nVersion=1.0\r\n");
  ASSERT_TRUE(FileSystem::CreateDirectoryTree(current.Path(L"VaroPic\\Application\\1.0")));
  wchar_t previous[MAX_PATH] = {};
  ::GetCurrentDirectoryW(MAX_PATH, previous);
  ASSERT_TRUE(::SetCurrentDirectoryW(current.Path().c_str()));
  const std::wstring found = FindApplicationDirectory();
  ::SetCurrentDirectoryW(previous);
  EXPECT_EQ(found, ProductPaths::LauncherDirectory());
}

// The configured version wins over the registry and the launcher's folder.
TEST_F(ProductPathsTest, ConfiguredVersionFolderComesFirst) {
  const std::wstring version = MakeVersionFolder(L"3.1.0.25");
  ConfigureVersion(L"3.1.0.25");
  ASSERT_TRUE(registry_.SetInstallPath(L"VaroPic", temp_.Path(), KEY_WOW64_64KEY));
  EXPECT_EQ(Comparable(FindApplicationDirectory()), Comparable(version));
  EXPECT_EQ(FindApplicationDirectory().back(), L'\\');
}

// A configured version must be found however long the path to "config.ini"
// is; the shell names AppData folders up to the classic limit, so this one
// takes "config.ini" past it.
TEST_F(ProductPathsTest, ConfiguredVersionBeyondTheClassicPathLimit) {
  root_ = RedirectAppData(PathOfLength(temp_.Path(L"Roaming"), MAX_PATH - 10).substr(temp_.Path().size()));
  ASSERT_TRUE(registry_.SetInstallPath(L"VaroPic", temp_.Path(), KEY_WOW64_64KEY));
  const std::wstring version = MakeVersionFolder(L"3.1");
  temp_.WriteFile(root_.substr(temp_.Path().size()) + L"\\VaroPic\\config.ini", "[Upgrade]\r\nVersion=3.1\r\n");

  EXPECT_EQ(Comparable(FindApplicationDirectory()), Comparable(version));
}

// A version whose folder is missing must not be returned; the search goes on
// to the registry, then to the launcher's folder.
TEST_F(ProductPathsTest, MissingVersionFolderFallsBackInOrder) {
  ConfigureVersion(L"9.9");
  const std::wstring installed = temp_.Path(L"Program Files\\VaroPic");
  ASSERT_TRUE(FileSystem::CreateDirectoryTree(installed));
  {
    RegistryChanges install;
    ASSERT_TRUE(install.SetInstallPath(L"VaroPic", installed, KEY_WOW64_64KEY));
    EXPECT_EQ(FindApplicationDirectory(), installed + L"\\");
  }
  EXPECT_EQ(FindApplicationDirectory(), ProductPaths::LauncherDirectory());
}

// A registry path to a folder that does not exist is skipped too.
TEST_F(ProductPathsTest, MissingInstallFolderFallsBackToTheLauncher) {
  ASSERT_TRUE(registry_.SetInstallPath(L"VaroPic", temp_.Path(L"gone"), KEY_WOW64_64KEY));
  EXPECT_EQ(FindApplicationDirectory(), ProductPaths::LauncherDirectory());
}

// A version that is not a plain folder name leads out of the application
// root (here to folders that exist); it must count as no version at all.
TEST_F(ProductPathsTest, VersionThatLeavesTheRootIsIgnored) {
  MakeVersionFolder(L"a\\b");
  ASSERT_TRUE(FileSystem::CreateDirectoryTree(root_ + L"\\VaroPic\\x"));
  const std::wstring installed = temp_.Path(L"installed");
  ASSERT_TRUE(FileSystem::CreateDirectoryTree(installed));
  ASSERT_TRUE(registry_.SetInstallPath(L"VaroPic", installed, KEY_WOW64_64KEY));

  for (const std::wstring& version : {std::wstring(L"..\\x"), std::wstring(L"a\\b"), std::wstring(L"a/b"),
                                      std::wstring(L"C:x"), std::wstring(L"."), std::wstring(L".."), temp_.Path()}) {
    ConfigureVersion(version);
    EXPECT_EQ(FindApplicationDirectory(), installed + L"\\") << version;
  }
}

// The 64-bit view is the launcher's own; a value there is found, with one
// trailing backslash added or kept.
TEST_F(ProductPathsTest, InstallPathFromThe64BitView) {
  {
    RegistryChanges install;
    ASSERT_TRUE(install.SetInstallPath(L"VaroPic", L"C:\\Program Files\\VaroPic", KEY_WOW64_64KEY));
    EXPECT_EQ(ProductPaths::RegistryInstallPath(L"VaroPic"), L"C:\\Program Files\\VaroPic\\");
  }
  {
    RegistryChanges install;
    ASSERT_TRUE(install.SetInstallPath(L"VaroPic", L"C:\\Program Files\\VaroPic\\", KEY_WOW64_64KEY));
    EXPECT_EQ(ProductPaths::RegistryInstallPath(L"VaroPic"), L"C:\\Program Files\\VaroPic\\");
  }
  EXPECT_EQ(ProductPaths::RegistryInstallPath(L"VaroPic"), L"");
  EXPECT_EQ(ProductPaths::RegistryInstallPath(L""), L"");
}

// With a value in both views the launcher's own, 64-bit, view wins.
TEST_F(ProductPathsTest, InstallPathPrefersThe64BitView) {
  ASSERT_TRUE(registry_.SetInstallPath(L"VaroPic", L"C:\\Native\\VaroPic", KEY_WOW64_64KEY));
  ASSERT_TRUE(registry_.SetInstallPath(L"VaroPic", L"C:\\Wow\\VaroPic", KEY_WOW64_32KEY));
  EXPECT_EQ(ProductPaths::RegistryInstallPath(L"VaroPic"), L"C:\\Native\\VaroPic\\");
}

// A 32-bit installer writes to the 32-bit view; it must be read there when the
// 64-bit view has nothing.
TEST_F(ProductPathsTest, InstallPathFromThe32BitView) {
  ASSERT_TRUE(registry_.SetInstallPath(L"VaroPic", L"C:\\Program Files (x86)\\VaroPic", KEY_WOW64_32KEY));
  EXPECT_EQ(ProductPaths::RegistryInstallPath(L"VaroPic"), L"C:\\Program Files (x86)\\VaroPic\\");
}

// The cache file lives in an existing product folder only; asking for it
// must not create the folder.
TEST_F(ProductPathsTest, SignerCacheLocationNeedsTheProductFolder) {
  EXPECT_EQ(ProductPaths::SignerCacheLocation(), L"");
  EXPECT_FALSE(FileSystem::Exists(root_ + L"\\VaroPic"));

  ASSERT_TRUE(FileSystem::CreateDirectoryTree(root_ + L"\\VaroPic"));
  const std::wstring location = ProductPaths::SignerCacheLocation();
  EXPECT_EQ(PathText::ToLower(location),
            PathText::ToLower(root_ + L"\\VaroPic\\SignCache.dat"));
}

// The launcher's folder is where its executable is, with one backslash.
TEST_F(ProductPathsTest, LauncherDirectoryHoldsTheExecutable) {
  const std::wstring folder = ProductPaths::LauncherDirectory();
  ASSERT_GE(folder.size(), 2u);
  EXPECT_EQ(folder.back(), L'\\');
  EXPECT_NE(folder[folder.size() - 2], L'\\');
  EXPECT_TRUE(FileSystem::IsFile(folder + L"product_paths_tests.exe"));
}

}  // namespace
