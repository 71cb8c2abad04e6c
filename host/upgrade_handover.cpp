#include "host/upgrade_handover.h"

#include <string>

#include "locations/file_system.h"
#include "locations/plain_folder_name.h"
#include "locations/product_layout.h"
#include "locations/product_paths.h"
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

}  // namespace

void RunUpgradeHandover() {
  const UpgradeMarker& marker = Marker();
  if (marker.handle && marker.existedBefore) return;

  // Without a data root the paths below would be relative to the current
  // folder, whose files nobody vouches for.
  if (ProductPaths::DataRoot().empty()) return;
  const std::wstring dataDirectory = ProductPaths::ProductDataDirectory();
  const std::wstring sidePath = dataDirectory + kPendingUpgradeFile;
  if (!FileSystem::IsFile(sidePath)) return;
  wchar_t version[kVersionUnits + 1] = {};
  ::GetPrivateProfileStringW(kUpgradeSection, kVersionKey, L"", version, kVersionUnits, sidePath.c_str());
  // Consumed exactly once, whatever it holds.
  FileSystem::RemoveFile(sidePath);

  // The version becomes a folder name under the application root, from which
  // code is loaded: anything that could leave that root is dropped.
  if (!IsPlainFolderName(version)) return;
  if (!FileSystem::IsDirectory(ProductPaths::ApplicationRoot() + version)) return;
  const std::wstring configPath = dataDirectory + kConfigFile;
  ::WritePrivateProfileStringW(kUpgradeSection, kVersionKey, version, configPath.c_str());
}
