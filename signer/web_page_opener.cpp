#include "signer/web_page_opener.h"

#include <string>

#include "locations/product_paths.h"
#include "platform/get_proc.h"
#include "platform/system_library_cache.h"
#include "platform/win.h"
#include "signer/browser_candidates.h"

#include <shellapi.h>

namespace {

using ShellExecuteFn = decltype(&::ShellExecuteW);

// Longer addresses are refused, never cut: a cut address opens another page.
constexpr int kMaxUrlLength = 4090;

// On a 64-bit system the 32-bit browser comes first; on a 32-bit system the
// first variable stays unexpanded, so only the second path can be found.
constexpr const wchar_t* kInternetExplorerPaths[] = {
    L"%programfiles(x86)%\\Internet Explorer\\iexplore.exe",
    L"%programfiles%\\Internet Explorer\\iexplore.exe",
};

// One command-line argument holding the address. A double quote inside it
// would end the argument early and let the rest reach the browser as
// switches, so it is passed percent-encoded, as a browser would send it.
std::wstring QuotedAddress(const wchar_t* url) {
  std::wstring quoted = L"\"";
  for (const wchar_t* c = url; *c != L'\0'; ++c) {
    if (*c == L'"') {
      quoted += L"%22";
    } else {
      quoted += *c;
    }
  }
  return quoted + L"\"";
}

// ShellExecuteW reports success as a value above 32.
bool Start(ShellExecuteFn shellExecute, const std::wstring& file, const wchar_t* parameters) {
  const HINSTANCE result = shellExecute(nullptr, L"open", file.c_str(), parameters, nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

// The expanded path, or empty when it does not fit MAX_PATH.
std::wstring ExpandPath(const wchar_t* pattern) {
  wchar_t expanded[MAX_PATH] = {};
  const DWORD length = ::ExpandEnvironmentStringsW(pattern, expanded, MAX_PATH - 1);
  if (length == 0 || length > MAX_PATH - 1) return std::wstring();
  return expanded;
}

bool StartInternetExplorer(ShellExecuteFn shellExecute, const std::wstring& address) {
  for (const wchar_t* pattern : kInternetExplorerPaths) {
    const std::wstring path = ExpandPath(pattern);
    if (path.empty() || ::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) continue;
    if (Start(shellExecute, path, address.c_str())) return true;
  }
  return false;
}

}  // namespace

unsigned OpenWebPage(const wchar_t* url) {
  if (url == nullptr || url[0] == L'\0' || ::lstrlenW(url) >= kMaxUrlLength) return 0;
  // A browser started by the system account would browse with that account's
  // rights, on the user's desktop.
  if (ProductPaths::RunsAsSystemAccount()) return 0;
  const std::wstring address = QuotedAddress(url);
  const auto shellExecute = platform::GetProc<ShellExecuteFn>(
      platform::SystemLibraryCache::Instance().GetLibrary(L"Shell32.dll"), "ShellExecuteW");
  if (shellExecute == nullptr) return 0;

  for (const std::wstring& browser : FindBrowserCandidates()) {
    if (Start(shellExecute, browser, address.c_str())) return 1;
  }
  if (Start(shellExecute, address, nullptr)) return 1;
  return StartInternetExplorer(shellExecute, address) ? 1 : 0;
}
