// A prefix in which no maker browser is installed, no default browser is
// recorded and Internet Explorer's folders point into the test's own temp
// folder; tests add stand-in browsers and handlers and see what was started.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/win.h"
#include "tests/support/registry_changes.h"
#include "tests/support/temp_folder.h"

enum class Browser { VaroExplorer, Varochrome, BriskChrome };

class BrowserTestFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Records `folder` as the browser's "Path" (32-bit view).
  void RecordInstallPath(Browser browser, const std::wstring& folder);
  // The stand-in as the browser's executable in a folder of its own, recorded
  // as installed; returns the executable's path.
  std::wstring Install(Browser browser);
  // Like Install, but the executable is a text file that cannot start.
  std::wstring InstallBroken(Browser browser);
  // The stand-in as "Internet Explorer\iexplore.exe" in the folder that
  // %programfiles(x86)% ("x86") or %programfiles% ("x64") names.
  std::wstring InstallInternetExplorer(const std::wstring& bitness);
  // The stand-in as the shell's "open" handler of this test's own scheme.
  std::wstring RegisterAddressHandler();
  // The three places the default browser is read from, in reading order; an
  // empty text counts as not recorded.
  void SetDefaultBrowser(const std::wstring& userChoice, const std::wstring& httpCommand,
                         const std::wstring& htmlClass);

  // An address of this test's own scheme, which nothing but the handler of
  // RegisterAddressHandler opens.
  std::wstring Url(const std::wstring& rest) const;

  // The arguments (after the program name) that the stand-in at `program` was
  // started with; waits a few seconds for its record and for its exit.
  // Nothing when it was not started.
  std::optional<std::vector<std::wstring>> ArgumentsOf(const std::wstring& program) const;
  bool WasStarted(const std::wstring& program) const;

  TempFolder temp_;
  RegistryChanges registry_;

 private:
  std::wstring CopyStandIn(const std::wstring& relativePath) const;

  const std::wstring scheme_ = L"varo-test-" + std::to_wstring(::GetCurrentProcessId());
  std::vector<std::pair<std::wstring, std::optional<std::wstring>>> savedEnvironment_;
};
