// The real launchers, run as a user would run them, in a product laid out
// under a roaming application-data folder of the test's own. The tests see
// only what a user or another process could: exit codes, files, registry
// values and started programs. The launchers are signed by an allowed
// publisher, so the own-publisher rule refuses foreign files.
#pragma once

#include <optional>
#include <string>

#include "platform/file_system.h"
#include "tests/support/browser_test_fixture.h"
#include "tests/support/child_process.h"

inline constexpr wchar_t kPicViewer[] = L"VaroPicViewer.exe";
inline constexpr wchar_t kPdfReader[] = L"VaroPdfReader.exe";
inline constexpr DWORD kLaunchTimeout = 60000;

std::wstring Environment(const wchar_t* name);
void SetEnvironment(const wchar_t* name, const std::wstring& value);

class LauncherTest : public BrowserTestFixture {
 protected:
  void SetUp() override {
    BrowserTestFixture::SetUp();
    artifacts_ = Environment(L"VARO_E2E");
    ASSERT_FALSE(artifacts_.empty()) << "VARO_E2E is not set";
    ASSERT_TRUE(FileSystem::CreateDirectoryTree(temp_.Path(L"AppData")));
    ASSERT_TRUE(registry_.RedirectAppData(temp_.Path(L"AppData")));
    browser_ = Install(Browser::VaroExplorer);
    SetEnvironment(L"VARO_TEST_APP_RECORD", record_);
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

  // Points the user's roaming folder at `folder` (created here); the product
  // folders below follow it.
  void MoveAppData(const std::wstring& folder) {
    ASSERT_TRUE(FileSystem::CreateDirectoryTree(folder));
    ASSERT_TRUE(registry_.RedirectAppData(folder));
    appData_ = folder;
  }

  std::wstring ProductFolder() const { return appData_ + L"\\VaroPic\\"; }
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

  // Makes the launcher `program` load DLLs named `dll` from its own folder
  // before the system's, as Windows does for any DLL that is not a known one.
  void PreferLocalCopies(const std::wstring& program, const wchar_t* dll) {
    registry_.SetText(HKEY_CURRENT_USER, 0, L"Software\\Wine\\AppDefaults\\" + program + L"\\DllOverrides", dll,
                      L"native,builtin");
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
  std::wstring appData_ = temp_.Path(L"AppData");
  std::wstring browser_;
  const std::wstring launcherFolder_ = temp_.Path(L"bin\\");
  const std::wstring record_ = temp_.Path(L"record.txt");
};

