#include "signer/web_page_opener.h"

#include "tests/support/browser_test_fixture.h"

namespace {

using Arguments = std::vector<std::wstring>;

class WebPageOpenerTest : public BrowserTestFixture {
 protected:
  // Spaces and "&" would split or end an address that is not quoted.
  const std::wstring url_ = Url(L"home page/?a=1&b=2");
};

// The default maker browser must be the one started, with the whole address
// as its one and only argument.
TEST_F(WebPageOpenerTest, DefaultMakerBrowserGetsTheAddress) {
  SetDefaultBrowser(L"BriskChromeHTML", L"", L"");
  const std::wstring explorer = Install(Browser::VaroExplorer);
  const std::wstring brisk = Install(Browser::BriskChrome);
  EXPECT_NE(OpenWebPage(url_.c_str()), 0u);
  EXPECT_EQ(ArgumentsOf(brisk), Arguments{url_});
  EXPECT_FALSE(WasStarted(explorer));
}

// A browser that is installed but does not start must not end the attempt:
// the next one in the default browser's order takes over.
TEST_F(WebPageOpenerTest, BrowserThatFailsToStartHandsOverToTheNext) {
  SetDefaultBrowser(L"", L"\"c:\\apps\\varochrome.exe\" \"%1\"", L"");
  InstallBroken(Browser::Varochrome);
  const std::wstring explorer = Install(Browser::VaroExplorer);
  const std::wstring brisk = Install(Browser::BriskChrome);
  EXPECT_NE(OpenWebPage(url_.c_str()), 0u);
  EXPECT_EQ(ArgumentsOf(explorer), Arguments{url_});
  EXPECT_FALSE(WasStarted(brisk));
}

// Without a maker browser the shell's handler for the address comes before
// Internet Explorer.
TEST_F(WebPageOpenerTest, WithoutMakerBrowsersTheShellHandlerOpensTheAddress) {
  const std::wstring handler = RegisterAddressHandler();
  const std::wstring explorer = InstallInternetExplorer(L"x86");
  EXPECT_NE(OpenWebPage(url_.c_str()), 0u);
  EXPECT_EQ(ArgumentsOf(handler), Arguments{url_});
  EXPECT_FALSE(WasStarted(explorer));
}

// When the shell cannot open the address, the 32-bit Internet Explorer is
// tried before the 64-bit one, and either is enough.
TEST_F(WebPageOpenerTest, InternetExplorerIsTheLastResort) {
  const std::wstring x86 = InstallInternetExplorer(L"x86");
  const std::wstring x64 = InstallInternetExplorer(L"x64");
  EXPECT_NE(OpenWebPage(url_.c_str()), 0u);
  EXPECT_EQ(ArgumentsOf(x86), Arguments{url_});
  EXPECT_FALSE(WasStarted(x64));

  // As on a 32-bit system, where the first folder cannot be found.
  ::SetEnvironmentVariableW(L"ProgramFiles(x86)", nullptr);
  EXPECT_NE(OpenWebPage(url_.c_str()), 0u);
  EXPECT_EQ(ArgumentsOf(x64), Arguments{url_});
}

// Success must only be reported when something was started.
TEST_F(WebPageOpenerTest, NothingThatStartsGivesZero) {
  InstallBroken(Browser::VaroExplorer);
  EXPECT_EQ(OpenWebPage(url_.c_str()), 0u);
}

// Addresses that are missing or too long start nothing, even with a browser
// at hand; the longest allowed one is still opened.
TEST_F(WebPageOpenerTest, RefusedAddressesStartNothing) {
  const std::wstring explorer = Install(Browser::VaroExplorer);
  const std::wstring tooLong = url_ + std::wstring(4090 - url_.size(), L'x');
  EXPECT_EQ(OpenWebPage(nullptr), 0u);
  EXPECT_EQ(OpenWebPage(L""), 0u);
  EXPECT_EQ(OpenWebPage(tooLong.c_str()), 0u);
  EXPECT_FALSE(WasStarted(explorer));

  const std::wstring longest = tooLong.substr(0, 4089);
  EXPECT_NE(OpenWebPage(longest.c_str()), 0u);
  EXPECT_EQ(ArgumentsOf(explorer), Arguments{longest});
}

// A double quote in the address must not close the argument early and pass
// the rest to the browser as switches of its own.
TEST_F(WebPageOpenerTest, QuoteInTheAddressCannotAddArguments) {
  const std::wstring explorer = Install(Browser::VaroExplorer);
  const std::wstring url = Url(L"a\" --switch \"b");
  EXPECT_NE(OpenWebPage(url.c_str()), 0u);
  EXPECT_EQ(ArgumentsOf(explorer), Arguments{Url(L"a%22 --switch %22b")});
}

}  // namespace
