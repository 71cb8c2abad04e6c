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

std::wstring AppDataFolder() {
  PIDLIST_ABSOLUTE list = nullptr;
  if (FAILED(::SHGetSpecialFolderLocation(nullptr, CSIDL_APPDATA, &list))) return {};
  wchar_t path[MAX_PATH + 1] = {};
  const BOOL found = ::SHGetPathFromIDListW(list, path);
  ::CoTaskMemFree(list);
  return found ? path : L"";
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int showCommand) {
  using namespace product_layout;
  const std::wstring product = AppDataFolder() + L"\\" + kProductFolder + L"\\";
  wchar_t version[kVersionUnits] = {};
  ::GetPrivateProfileStringW(kUpgradeSection, kVersionKey, L"", version, kVersionUnits,
                             (product + kConfigFile).c_str());
  const std::wstring module = product + L"Application\\" + version + L"\\" + kAppModule;
  using Entry = int(WINAPI*)(HINSTANCE, HINSTANCE, LPWSTR, int);
  const HMODULE app = ::LoadLibraryExW(module.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  const auto entry = platform::GetProc<Entry>(app, "ImageViewerMain");
  if (entry == nullptr) {
    ::MessageBoxW(nullptr, module.c_str(), L"Cannot load the application", MB_OK | MB_ICONERROR);
    return 1;
  }
  return entry(instance, previous, commandLine, showCommand);
}
