#include "host/upgrade_handover.h"

#include <atomic>

#include "locations/file_system.h"
#include "locations/path_text.h"
#include "locations/plain_folder_name.h"
#include "locations/product_layout.h"
#include "locations/product_paths.h"
#include "locations/product_user.h"
#include "platform/unique_handle.h"

namespace {

using namespace product_layout;

constexpr wchar_t kMarkerMutexName[] = L"QMImage_Update_Config_Ini";

// Its mere existence marks a running launcher of the family: it is never
// waited on, and it lives until the process exits.
struct UpgradeMarker {
  UpgradeMarker() : handle(::CreateMutexW(nullptr, FALSE, kMarkerMutexName)) {
    existedBefore = handle && ::GetLastError() == ERROR_ALREADY_EXISTS;
  }
  platform::UniqueKernelHandle handle;
  bool existedBefore = false;
};

const UpgradeMarker& Marker() {
  static const UpgradeMarker marker;
  return marker;
}

// "config.ini" is an ANSI profile file: a character outside printable ASCII
// may come back from it as another one, and then the version it names is
// one that was never installed, at every launch from then on.
bool IsPrintableAscii(const std::wstring& text) {
  for (wchar_t c : text) {
    if (c < L' ' || c > L'~') return false;
  }
  return true;
}

// Holds the file at `path`, which must be no link, while the profile
// functions use it by its path: without delete sharing nobody can put a link
// in its place meanwhile, and holding no data access the handle stands in
// the way of no reader or writer. An invalid handle when it is a link or
// cannot be opened.
platform::UniqueFileHandle HoldPlainFile(const std::wstring& path, DWORD disposition) {
  return FileSystem::OpenFileRefusingLinks(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, disposition,
                                           0);
}

void HandOverPendingVersion(const std::wstring& appModuleFileName) {
  // One data root for the whole hand-over: the side file, the version folder
  // and "config.ini" must all be the same user's. Without one the paths
  // would be relative to the current folder, whose files nobody vouches for.
  const std::wstring dataRoot = ProductPaths::DataRoot();
  if (dataRoot.empty()) return;
  const std::wstring dataDirectory = ProductPaths::ProductDataDirectory(dataRoot);
  const std::wstring sidePath = dataDirectory + kPendingUpgradeFile;
  if (!FileSystem::IsFile(sidePath)) return;
  wchar_t version[kVersionUnits + 1] = {};
  {
    const platform::UniqueFileHandle held = HoldPlainFile(sidePath, OPEN_EXISTING);
    if (!held) return;
    ::GetPrivateProfileStringW(kUpgradeSection, kVersionKey, L"", version, kVersionUnits, sidePath.c_str());
  }
  // Consumed exactly once, whatever it holds. A side file that stays would
  // be handed over again at every launch, so "config.ini" waits for a launch
  // that can delete it.
  if (!FileSystem::RemoveFile(sidePath)) return;

  // The version becomes a folder name under the application root, from which
  // code is loaded: anything that could leave that root is dropped.
  if (!IsPrintableAscii(version) || !IsPlainFolderName(version)) return;
  // A folder without the application module is no installed version: from
  // then on no launch could start the product.
  if (!FileSystem::IsFile(PathText::Join(ProductPaths::ApplicationRoot(dataRoot) + version, appModuleFileName))) return;
  const std::wstring configPath = dataDirectory + kConfigFile;
  const platform::UniqueFileHandle held = HoldPlainFile(configPath, OPEN_ALWAYS);
  if (!held) return;
  ::WritePrivateProfileStringW(kUpgradeSection, kVersionKey, version, configPath.c_str());
}

}  // namespace

void RunUpgradeHandover(const std::wstring& appModuleFileName) {
  // Every later Load of the process finds the hand-over done.
  static std::atomic<bool> ran{false};
  if (ran.exchange(true)) return;
  const UpgradeMarker& marker = Marker();
  if (marker.handle && marker.existedBefore) return;

  RunAsProductUser([&appModuleFileName] { HandOverPendingVersion(appModuleFileName); });
}
