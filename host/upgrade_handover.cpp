#include "host/upgrade_handover.h"

#include <string>

#include "locations/file_system.h"
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

void HandOverPendingVersion() {
  // One data root for the whole hand-over: the side file, the version folder
  // and "config.ini" must all be the same user's. Without one the paths
  // would be relative to the current folder, whose files nobody vouches for.
  const std::wstring dataRoot = ProductPaths::DataRoot();
  if (dataRoot.empty()) return;
  const std::wstring dataDirectory = ProductPaths::ProductDataDirectory(dataRoot);
  const std::wstring sidePath = dataDirectory + kPendingUpgradeFile;
  if (!FileSystem::IsFile(sidePath)) return;
  wchar_t version[kVersionUnits + 1] = {};
  ::GetPrivateProfileStringW(kUpgradeSection, kVersionKey, L"", version, kVersionUnits, sidePath.c_str());
  // Consumed exactly once, whatever it holds. A side file that stays would
  // be handed over again at every launch, so "config.ini" waits for a launch
  // that can delete it.
  if (!FileSystem::RemoveFile(sidePath)) return;

  // The version becomes a folder name under the application root, from which
  // code is loaded: anything that could leave that root is dropped.
  if (!IsPrintableAscii(version) || !IsPlainFolderName(version)) return;
  if (!FileSystem::IsDirectory(ProductPaths::ApplicationRoot(dataRoot) + version)) return;
  const std::wstring configPath = dataDirectory + kConfigFile;
  ::WritePrivateProfileStringW(kUpgradeSection, kVersionKey, version, configPath.c_str());
}

}  // namespace

void RunUpgradeHandover() {
  const UpgradeMarker& marker = Marker();
  if (marker.handle && marker.existedBefore) return;

  RunAsProductUser(HandOverPendingVersion);
}
