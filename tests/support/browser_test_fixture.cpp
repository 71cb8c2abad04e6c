#include "tests/support/browser_test_fixture.h"

#include "platform/file_system.h"
#include "platform/unique_handle.h"
#include "platform/unique_memory.h"
#include "tests/support/child_process.h"

#include <cwchar>
#include <shellapi.h>

namespace {

// Each browser records its install folder under HKLM\SOFTWARE\<name>; the
// tests install it into the folder <name> of their temp folder.
struct BrowserNames {
  std::wstring name;
  std::wstring executable;
  std::wstring RegistryKey() const { return L"SOFTWARE\\" + name; }
};

BrowserNames NamesOf(Browser browser) {
  switch (browser) {
    case Browser::VaroExplorer:
      return {L"VaroExplorer", L"VaroExplorer.exe"};
    case Browser::Varochrome:
      return {L"Varochrome", L"Varochrome.exe"};
    case Browser::BriskChrome:
      break;
  }
  return {L"BriskChrome", L"BriskChrome.exe"};
}

constexpr Browser kAllBrowsers[] = {Browser::VaroExplorer, Browser::Varochrome, Browser::BriskChrome};

std::optional<std::wstring> EnvironmentVariable(const wchar_t* name) {
  wchar_t value[32768] = {};
  if (::GetEnvironmentVariableW(name, value, 32768) == 0) return std::nullopt;
  return std::wstring(value);
}

std::vector<std::wstring> SplitCommandLine(const std::wstring& commandLine) {
  int count = 0;
  const platform::UniqueLocalMemory<LPWSTR> arguments(::CommandLineToArgvW(commandLine.c_str(), &count));
  if (!arguments) return {};
  return std::vector<std::wstring>(arguments.get(), arguments.get() + count);
}

}  // namespace

void BrowserTestFixture::SetUp() {
  for (Browser browser : kAllBrowsers) {
    ASSERT_TRUE(registry_.Remove(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, NamesOf(browser).RegistryKey(), L"Path"));
  }
  SetDefaultBrowser(L"", L"", L"");
  // Never the prefix's own Internet Explorer: both folders lie in temp_.
  for (const auto& [name, bitness] : {std::pair{L"ProgramFiles(x86)", L"x86"}, std::pair{L"ProgramFiles", L"x64"}}) {
    savedEnvironment_.emplace_back(name, EnvironmentVariable(name));
    ::SetEnvironmentVariableW(name, temp_.Path(bitness).c_str());
  }
}

void BrowserTestFixture::TearDown() {
  for (const auto& [name, value] : savedEnvironment_) {
    ::SetEnvironmentVariableW(name.c_str(), value ? value->c_str() : nullptr);
  }
}

std::wstring BrowserTestFixture::CopyStandIn(const std::wstring& relativePath) const {
  const std::wstring target = temp_.Path(relativePath);
  FileSystem::CreateDirectoryTree(target.substr(0, target.find_last_of(L'\\')));
  const std::wstring standIn = SiblingProgram(L"browser_stand_in.exe");
  EXPECT_TRUE(::CopyFileW(standIn.c_str(), target.c_str(), FALSE)) << "no stand-in beside the test program";
  return target;
}

void BrowserTestFixture::RecordInstallPath(Browser browser, const std::wstring& folder) {
  ASSERT_TRUE(registry_.SetInstallPath(NamesOf(browser).name, folder, KEY_WOW64_32KEY));
}

std::wstring BrowserTestFixture::Install(Browser browser) {
  const BrowserNames names = NamesOf(browser);
  RecordInstallPath(browser, temp_.Path(names.name));
  return CopyStandIn(names.name + L"\\" + names.executable);
}

std::wstring BrowserTestFixture::InstallBroken(Browser browser) {
  const BrowserNames names = NamesOf(browser);
  RecordInstallPath(browser, temp_.Path(names.name));
  return temp_.WriteFile(names.name + L"\\" + names.executable, "not a program");
}

std::wstring BrowserTestFixture::InstallInternetExplorer(const std::wstring& bitness) {
  return CopyStandIn(bitness + L"\\Internet Explorer\\iexplore.exe");
}

std::wstring BrowserTestFixture::RegisterAddressHandler() {
  const std::wstring handler = CopyStandIn(L"handler\\handler.exe");
  EXPECT_TRUE(registry_.SetText(HKEY_CLASSES_ROOT, 0, scheme_ + L"\\shell\\open\\command", L"",
                                Quoted(handler) + L" \"%1\""));
  return handler;
}

void BrowserTestFixture::SetDefaultBrowser(const std::wstring& userChoice, const std::wstring& httpCommand,
                                           const std::wstring& htmlClass) {
  ASSERT_TRUE(registry_.SetText(HKEY_CURRENT_USER, KEY_WOW64_32KEY,
                                L"Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\http\\UserChoice",
                                L"Progid", userChoice));
  ASSERT_TRUE(registry_.SetText(HKEY_CLASSES_ROOT, KEY_WOW64_32KEY, L"http\\shell\\open\\command", L"", httpCommand));
  ASSERT_TRUE(registry_.SetText(HKEY_CURRENT_USER, KEY_WOW64_32KEY, L"Software\\Classes\\.html", L"", htmlClass));
}

std::wstring BrowserTestFixture::Url(const std::wstring& rest) const { return scheme_ + L"://" + rest; }

bool BrowserTestFixture::WasStarted(const std::wstring& program) const {
  return FileSystem::Exists(program + L".args");
}

std::optional<std::vector<std::wstring>> BrowserTestFixture::ArgumentsOf(const std::wstring& program) const {
  if (!WaitForFile(program + L".args", 10000)) return std::nullopt;
  // The record appears by a rename, but Wine may still refuse the first read
  // of a file renamed a moment ago: read until it holds a whole first line.
  std::wstring record;
  size_t lineEnd = std::wstring::npos;
  for (const ULONGLONG deadline = ::GetTickCount64() + 10000; ::GetTickCount64() < deadline; ::Sleep(10)) {
    record = ReadWholeWideFile(program + L".args");
    lineEnd = record.find(L'\n');
    if (lineEnd != std::wstring::npos) break;
  }
  if (lineEnd == std::wstring::npos) return std::nullopt;
  // Its folder can only go once it has ended.
  const DWORD processId = std::wcstoul(record.substr(0, lineEnd).c_str(), nullptr, 10);
  WaitForExit(platform::UniqueKernelHandle(::OpenProcess(SYNCHRONIZE, FALSE, processId)), 10000);
  std::vector<std::wstring> arguments = SplitCommandLine(record.substr(lineEnd + 1));
  if (!arguments.empty()) arguments.erase(arguments.begin());
  return arguments;
}
