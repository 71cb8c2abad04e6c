#include "signer/browser_candidates.h"

#include "platform/file_system.h"
#include "platform/path_text.h"
#include "tests/support/browser_test_fixture.h"
#include "tests/support/windows_version_run.h"

namespace {

using BrowserCandidatesTest = BrowserTestFixture;

// Reading the sources in the wrong order, or taking an empty value as the
// answer, names the wrong default browser.
TEST_F(BrowserCandidatesTest, FirstNonEmptySourceNamesTheDefaultBrowser) {
  std::wstring text = L"untouched";
  EXPECT_FALSE(ReadDefaultBrowser(text));
  EXPECT_EQ(text, L"untouched");

  SetDefaultBrowser(L"HTMLVaroCHM", L"\"C:\\Apps\\BriskChrome.exe\" \"%1\"", L"VaroExplorerHTML");
  ASSERT_TRUE(ReadDefaultBrowser(text));
  EXPECT_EQ(text, L"HTMLVaroCHM");

  SetDefaultBrowser(L"", L"\"C:\\Apps\\BriskChrome.exe\" \"%1\"", L"VaroExplorerHTML");
  ASSERT_TRUE(ReadDefaultBrowser(text));
  EXPECT_EQ(text, L"\"C:\\Apps\\BriskChrome.exe\" \"%1\"");

  SetDefaultBrowser(L"", L"", L"VaroExplorerHTML");
  ASSERT_TRUE(ReadDefaultBrowser(text));
  EXPECT_EQ(text, L"VaroExplorerHTML");
}

// Each way of naming the default browser must put exactly that browser
// first; near-misses of a ProgId must not count, and the maker's own
// browsers are tested in a fixed order when a text names several.
TEST_F(BrowserCandidatesTest, DefaultBrowserDecidesTheOrder) {
  const std::wstring explorer = Install(Browser::VaroExplorer);
  const std::wstring chrome = Install(Browser::Varochrome);
  const std::wstring brisk = Install(Browser::BriskChrome);
  const std::vector<std::wstring> preferred = {explorer, brisk, chrome};
  struct Case {
    std::wstring userChoice;
    std::wstring httpCommand;
    std::vector<std::wstring> expected;
  };
  const Case cases[] = {
      {L"", L"", preferred},
      {L"BriskChromeHTML", L"", {brisk, explorer, chrome}},
      {L"briskchromehtml", L"", {brisk, explorer, chrome}},
      {L"HTMLVaroCHM", L"", {chrome, explorer, brisk}},
      {L"HTMLVaroCHM.Previous", L"", preferred},
      {L"OtherBrowserHTML", L"", preferred},
      {L"", L"\"C:\\Program Files\\Varo\\varochrome.exe\" -- \"%1\"", {chrome, explorer, brisk}},
      {L"", L"\"D:\\BriskChrome.exe.old\\Varochrome.exe\" \"%1\"", {chrome, explorer, brisk}},
      {L"", L"\"D:\\Tools\\BRISKCHROME.EXE\" \"%1\"", {brisk, explorer, chrome}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "user choice '" << c.userChoice << "', command '" << c.httpCommand << "'");
    SetDefaultBrowser(c.userChoice, c.httpCommand, L"");
    EXPECT_EQ(FindBrowserCandidates(), c.expected);
  }
}

// A browser counts as installed only when its executable is where its
// "Path" says and the full path fits; the others leave no gap in the list.
TEST_F(BrowserCandidatesTest, BrowsersThatAreNotThereLeaveNoGap) {
  SetDefaultBrowser(L"HTMLVaroCHM", L"", L"");
  RecordInstallPath(Browser::Varochrome, temp_.Path(L"EmptyFolder"));
  FileSystem::CreateDirectoryTree(temp_.Path(L"EmptyFolder"));
  const std::wstring brisk = Install(Browser::BriskChrome);
  EXPECT_EQ(FindBrowserCandidates(), std::vector<std::wstring>{brisk});

  // A folder that the registry can hold but whose executable path would
  // exceed MAX_PATH - 1 code units.
  std::wstring longFolder = temp_.Path(L"");
  longFolder += std::wstring(250 - longFolder.size(), L'v');
  ASSERT_TRUE(FileSystem::CreateDirectoryTree(longFolder));
  std::wstring longTarget;
  PathText::LongPathForm(longFolder + L"\\VaroExplorer.exe", longTarget);
  ASSERT_TRUE(::CopyFileW(brisk.c_str(), longTarget.c_str(), FALSE));
  RecordInstallPath(Browser::VaroExplorer, longFolder);
  EXPECT_EQ(FindBrowserCandidates(), std::vector<std::wstring>{brisk});
}

// Systems before Vista have no user choice key; a value left there by an
// upgrade must not be read. Runs in a copy of this program that Wine reports
// as Windows XP, started by the test below.
TEST(DefaultBrowserBeforeVistaTest, DISABLED_SkipsTheUserChoice) {
  std::wstring text;
  ASSERT_TRUE(ReadDefaultBrowser(text));
  EXPECT_EQ(text, L"BriskChromeHTML");
}

TEST_F(BrowserCandidatesTest, SystemsBeforeVistaIgnoreTheUserChoice) {
  SetDefaultBrowser(L"HTMLVaroCHM", L"", L"BriskChromeHTML");
  std::wstring text;
  ASSERT_TRUE(ReadDefaultBrowser(text));
  EXPECT_EQ(text, L"HTMLVaroCHM");
  EXPECT_TRUE(RunTestAsWindowsVersion(L"DefaultBrowserBeforeVistaTest.DISABLED_SkipsTheUserChoice", L"winxp", {}));
}

}  // namespace
