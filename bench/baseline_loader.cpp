// The baseline of the launch benchmark: a loader that does what any launcher
// of the product must do and checks nothing. It links the same system DLLs
// as the launchers, finds the roaming AppData folder through the shell,
// reads the installed version from "config.ini", loads the version's
// application module and calls its entry.
#include <string>

#include "locations/product_layout.h"
#include "platform/get_proc.h"
#include "platform/win.h"

#include <shlobj.h>

namespace {

constexpr wchar_t kAppModule[] = L"VaroImageApp.dll";

// One shell query, the one the launchers make.
std::wstring AppDataFolder() {
  wchar_t path[MAX_PATH] = {};
  return ::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path) == S_OK ? path : L"";
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int showCommand) {
  using namespace product_layout;
  const std::wstring product = AppDataFolder() + L"\\" + kProductFolder + L"\\";
  wchar_t version[kVersionUnits] = {};
  ::GetPrivateProfileStringW(kUpgradeSection, kVersionKey, L"", version, kVersionUnits,
                             (product + kConfigFile).c_str());
  const std::wstring module = product + kApplicationFolder + L"\\" + version + L"\\" + kAppModule;
  using Entry = int(WINAPI*)(HINSTANCE, HINSTANCE, LPWSTR, int);
  const HMODULE app = ::LoadLibraryExW(module.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  const auto entry = platform::GetProc<Entry>(app, "ImageViewerMain");
  if (entry == nullptr) {
    ::MessageBoxW(nullptr, module.c_str(), L"Cannot load the application", MB_OK | MB_ICONERROR);
    return 1;
  }
  return entry(instance, previous, commandLine, showCommand);
}
