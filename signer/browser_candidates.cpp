#include "signer/browser_candidates.h"

#include <array>
#include <cstddef>

#include "platform/get_proc.h"
#include "platform/registry_reader.h"
#include "platform/system_library_cache.h"
#include "platform/win.h"
#include "platform/windows_version.h"

#include <shlwapi.h>

namespace {

// KEY_READ | KEY_WOW64_32KEY: the maker's browsers are 32-bit programs and
// record themselves in the 32-bit view.
constexpr REGSAM kBrowserKeyAccess = KEY_READ | KEY_WOW64_32KEY;
static_assert(kBrowserKeyAccess == 0x20219);

// 519 bytes fit 259 code units; a longer value counts as missing.
constexpr DWORD kValueByteLimit = 519;

// A candidate is a plain path: at most MAX_PATH without its terminator. A
// longer one counts as not installed rather than being cut to another path.
constexpr size_t kMaxCandidateLength = MAX_PATH - 1;

enum BrowserIndex : size_t { kVaroExplorer, kVarochrome, kBriskChrome, kBrowserCount };
using BrowserOrder = std::array<size_t, kBrowserCount>;

// Used when no maker browser is the default one.
constexpr BrowserOrder kPreferredOrder{kVaroExplorer, kBriskChrome, kVarochrome};

struct MakerBrowser {
  const wchar_t* registryKey;  // under HKEY_LOCAL_MACHINE, value "Path"
  const wchar_t* executable;   // also searched for in a default browser's command line
  const wchar_t* progId;
  BrowserOrder orderWhenDefault;
};

// In the order in which their install information is read and in which a
// default browser text is matched against them.
constexpr MakerBrowser kBrowsers[kBrowserCount] = {
    {L"SOFTWARE\\VaroExplorer", L"VaroExplorer.exe", L"VaroExplorerHTML", kPreferredOrder},
    {L"SOFTWARE\\Varochrome", L"Varochrome.exe", L"HTMLVaroCHM", {kVarochrome, kVaroExplorer, kBriskChrome}},
    {L"SOFTWARE\\BriskChrome", L"BriskChrome.exe", L"BriskChromeHTML", {kBriskChrome, kVaroExplorer, kVarochrome}},
};

std::wstring ReadBrowserValue(const platform::RegistryReader& registry, HKEY root, const wchar_t* subKey,
                              const wchar_t* valueName) {
  return registry.ReadText(root, subKey, valueName, kBrowserKeyAccess, kValueByteLimit);
}

// The executable's path when the browser is installed, else empty. An empty
// "Path" would name the root of the current drive, so it counts as missing.
std::wstring InstalledExecutable(const platform::RegistryReader& registry, const MakerBrowser& browser) {
  const std::wstring folder = ReadBrowserValue(registry, HKEY_LOCAL_MACHINE, browser.registryKey, L"Path");
  if (folder.empty()) return std::wstring();
  const std::wstring path = folder + L"\\" + browser.executable;
  if (path.size() > kMaxCandidateLength) return std::wstring();
  if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return std::wstring();
  return path;
}

BrowserOrder OrderForDefault(const std::wstring& defaultBrowser, decltype(&::StrStrIW) strStrI) {
  for (const MakerBrowser& browser : kBrowsers) {
    if (::lstrcmpiW(defaultBrowser.c_str(), browser.progId) == 0 ||
        strStrI(defaultBrowser.c_str(), browser.executable) != nullptr) {
      return browser.orderWhenDefault;
    }
  }
  return kPreferredOrder;
}

}  // namespace

bool ReadDefaultBrowser(std::wstring& text) {
  const platform::RegistryReader registry;
  std::wstring found;
  if (platform::IsVistaOrLater()) {
    found = ReadBrowserValue(registry, HKEY_CURRENT_USER,
                             L"Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\http\\UserChoice",
                             L"Progid");
  }
  if (found.empty()) found = ReadBrowserValue(registry, HKEY_CLASSES_ROOT, L"http\\shell\\open\\command", nullptr);
  if (found.empty()) found = ReadBrowserValue(registry, HKEY_CURRENT_USER, L"Software\\Classes\\.html", nullptr);
  if (found.empty()) return false;
  text = found;
  return true;
}

std::vector<std::wstring> FindBrowserCandidates() {
  const platform::RegistryReader registry;
  std::array<std::wstring, kBrowserCount> installed;
  for (size_t i = 0; i < kBrowserCount; ++i) installed[i] = InstalledExecutable(registry, kBrowsers[i]);

  BrowserOrder order = kPreferredOrder;
  std::wstring defaultBrowser;
  if (ReadDefaultBrowser(defaultBrowser)) {
    const auto strStrI = platform::GetProc<decltype(&::StrStrIW)>(
        platform::SystemLibraryCache::Instance().GetLibrary(L"Shlwapi.dll"), "StrStrIW");
    if (strStrI == nullptr) return {};
    order = OrderForDefault(defaultBrowser, strStrI);
  }

  std::vector<std::wstring> candidates;
  for (size_t index : order) {
    if (!installed[index].empty()) candidates.push_back(installed[index]);
  }
  return candidates;
}
