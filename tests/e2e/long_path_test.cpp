#include <gtest/gtest.h>

#include "platform/path_text.h"
#include "platform/unique_handle.h"
#include "tests/e2e/launcher_fixture.h"
#include "tests/support/temp_folder.h"

// The launchers with the user's roaming folder beyond the classic path limit,
// the whole way from that folder to the application module.

namespace {

class LongAppDataTest : public LauncherTest, public ::testing::WithParamInterface<size_t> {
 protected:
  // Wine's shell names no roaming folder of MAX_PATH or more (it falls back
  // to the default one), where Windows names it through
  // SHGetKnownFolderPath. For such folders the launcher gets a stand-in shell
  // that answers as Windows does.
  void AnswerAsWindowsWould(const std::wstring& program) {
    if (appData_.size() < MAX_PATH) return;
    const std::wstring shell = Environment(L"VARO_STANDIN_SHELL32");
    ASSERT_FALSE(shell.empty()) << "VARO_STANDIN_SHELL32 is not set";
    Copy(shell, launcherFolder_ + L"shell32.dll");
    PreferLocalCopies(program, L"shell32");
    SetEnvironment(L"VARO_STANDIN_PROCESS_APPDATA", appData_);
  }

  // Written directly: the system's profile writer takes no path beyond
  // MAX_PATH.
  void WriteVersionFile(const wchar_t* name, const std::wstring& version) {
    const std::string text = "[Upgrade]\r\nVersion=" + std::string(version.begin(), version.end()) + "\r\n";
    const platform::UniqueFileHandle file =
        FileSystem::OpenFile(ProductFolder() + name, GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
    DWORD written = 0;
    ASSERT_TRUE(file && ::WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
  }
};

// A signed module under a long roaming folder must run as it does under a
// short one: not refused with the notice, not looked for in the launcher's
// folder, and a pending version taken as it is under a short one.
TEST_P(LongAppDataTest, PendingVersionIsTakenAndRuns) {
  MoveAppData(PathOfLength(temp_.Path(L"AppData"), GetParam()));
  const std::wstring launcher = InstallLauncher(kPicViewer);
  AnswerAsWindowsWould(kPicViewer);
  InstallVersion(L"1.0");
  InstallVersion(L"2.0");
  WriteVersionFile(L"config.ini", L"1.0");
  WriteVersionFile(L"temp.ini", L"2.0");

  EXPECT_EQ(Launch(launcher), 3u);
  const auto record = Recorded();
  ASSERT_TRUE(record) << "the application module did not run";
  const std::wstring loaded = L"module=" + VersionFolder(L"2.0") + L"VaroImageApp.dll\n";
  EXPECT_NE(PathText::ToLower(*record).find(PathText::ToLower(loaded)), std::wstring::npos) << *record;
  EXPECT_FALSE(WasStarted(browser_));
  EXPECT_FALSE(FileSystem::Exists(ProductFolder() + L"temp.ini"));
  const std::vector<uint8_t> config = ReadWholeFile(ProductFolder() + L"config.ini");
  EXPECT_NE(std::string(config.begin(), config.end()).find("Version=2.0\r\n"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Lengths, LongAppDataTest, ::testing::Values(240, 400));

}  // namespace
