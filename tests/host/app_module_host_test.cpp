// The host's run-time preload and teardown order, observed through stand-in
// libraries that record their loads and unloads. Each test runs the host in
// a fresh driver process, so every load is a first load and process end is
// seen as such.
#include <string>

#include <gtest/gtest.h>

#include "locations/product_layout.h"
#include "tests/support/child_process.h"
#include "tests/support/registry_changes.h"
#include "tests/support/temp_folder.h"

namespace {

constexpr wchar_t kAppModule[] = L"HostTestApp.dll";
constexpr wchar_t kDriver[] = L"host_driver.exe";
constexpr DWORD kRunTimeout = 60000;

class AppModuleHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::wstring appData = temp_.Path(L"AppData\\");
    ASSERT_TRUE(::CreateDirectoryW(appData.c_str(), nullptr));
    const std::wstring productFolder = appData + product_layout::kProductFolder;
    // The verifier gets a cache file only when the product folder exists.
    ASSERT_TRUE(::CreateDirectoryW(productFolder.c_str(), nullptr));
    ASSERT_TRUE(registry_.RedirectAppData(appData));
    cacheFile_ = productFolder + L"\\" + product_layout::kCacheFileName;
    // With no install path and no configured version the application folder
    // is the driver's own.
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
      ASSERT_TRUE(registry_.Remove(HKEY_LOCAL_MACHINE, view, std::wstring(L"SOFTWARE\\") + product_layout::kProductFolder,
                                   L"Path"));
    }
    // Windows prefers a run-time library beside the program to any other;
    // Wine needs telling.
    for (const wchar_t* name : {L"vcruntime140", L"msvcp140"}) {
      ASSERT_TRUE(registry_.SetText(HKEY_CURRENT_USER, 0,
                                    std::wstring(L"Software\\Wine\\AppDefaults\\") + kDriver + L"\\DllOverrides", name,
                                    L"native,builtin"));
    }
    launcherFolder_ = temp_.Path(L"launcher\\");
    ASSERT_TRUE(::CreateDirectoryW(launcherFolder_.c_str(), nullptr));
    order_ = temp_.Path(L"order.txt");
    ::SetEnvironmentVariableW(L"VARO_HOST_ORDER", order_.c_str());
    ::SetEnvironmentVariableW(L"VARO_HOST_CACHE", cacheFile_.c_str());
  }

  void TearDown() override {
    ::SetEnvironmentVariableW(L"VARO_HOST_ORDER", nullptr);
    ::SetEnvironmentVariableW(L"VARO_HOST_CACHE", nullptr);
  }

  void Lay(const wchar_t* name) const {
    ASSERT_TRUE(::CopyFileW(SiblingProgram(name).c_str(), (launcherFolder_ + name).c_str(), TRUE))
        << "cannot copy " << ::testing::PrintToString(std::wstring(name));
  }

  // Runs the driver to its end and returns what was recorded.
  std::string Run() const {
    auto process = StartProcess(launcherFolder_ + kDriver, kAppModule);
    EXPECT_TRUE(process);
    EXPECT_EQ(WaitForExit(process, kRunTimeout), 0u);
    const auto bytes = ReadWholeFile(order_);
    return std::string(bytes.begin(), bytes.end());
  }

  TempFolder temp_;
  RegistryChanges registry_;
  std::wstring launcherFolder_;
  std::wstring order_;
  std::wstring cacheFile_;
};

// Catches a preload that comes after the application module (which would
// then bind to other copies), one that skips a library or loads them in the
// other order, a teardown that frees the module after the verifier wrote its
// cache back or the run-time libraries before either, and a host that, torn
// down, loads anything again (or crashes trying).
TEST_F(AppModuleHostTest, NormalRunPreloadsAndTearsDownInOrder) {
  for (const wchar_t* name : {kDriver, L"vcruntime140.dll", L"msvcp140.dll", kAppModule}) Lay(name);

  EXPECT_EQ(Run(),
            "vcruntime140.dll load\n"
            "msvcp140.dll load\n"
            "HostTestApp.dll load\n"
            "host loaded\n"
            "HostTestApp.dll unload\n"
            "vcruntime140.dll unload cache\n"
            "msvcp140.dll unload cache\n"
            "host torn down\n"
            "host after teardown: none\n");
  EXPECT_NE(::GetFileAttributesW(cacheFile_.c_str()), INVALID_FILE_ATTRIBUTES);
}

// Catches a teardown without an application module that frees the run-time
// libraries: they must stay until the process ends.
TEST_F(AppModuleHostTest, WithoutModuleRunTimeLibrariesStayLoaded) {
  for (const wchar_t* name : {kDriver, L"vcruntime140.dll", L"msvcp140.dll"}) Lay(name);

  const std::string order = Run();
  EXPECT_EQ(order.substr(0, order.find("host torn down\n") + 15),
            "vcruntime140.dll load\n"
            "msvcp140.dll load\n"
            "host no module\n"
            "host torn down\n")
      << order;
  EXPECT_EQ(order.find("unload"), std::string::npos) << order;
}

// Catches a preload of libraries that are not there, or a host that gives up
// without them: with no run-time copies beside it the module still loads and
// tears down.
TEST_F(AppModuleHostTest, WithoutRunTimeCopiesTheModuleStillLoads) {
  for (const wchar_t* name : {kDriver, kAppModule}) Lay(name);

  EXPECT_EQ(Run(),
            "HostTestApp.dll load\n"
            "host loaded\n"
            "HostTestApp.dll unload\n"
            "host torn down\n"
            "host after teardown: none\n");
}

}  // namespace
