// Names of the product's own files and folders, which the product's
// installer and upgrader share with the launchers.
#pragma once

namespace product_layout {

// The product's folder in the user's roaming application-data folder, and
// the folder in it that holds one folder per installed version.
inline constexpr wchar_t kProductFolder[] = L"VaroPic";
inline constexpr wchar_t kApplicationFolder[] = L"Application";
// Records the installed version; the pending-upgrade side file beside it
// holds the version to move in at the next launch.
inline constexpr wchar_t kConfigFile[] = L"config.ini";
inline constexpr wchar_t kPendingUpgradeFile[] = L"temp.ini";
inline constexpr wchar_t kUpgradeSection[] = L"Upgrade";
inline constexpr wchar_t kVersionKey[] = L"Version";
// The signer's verification cache, inside the product folder.
inline constexpr wchar_t kCacheFileName[] = L"SignCache.dat";
static_assert(sizeof(kCacheFileName) / sizeof(wchar_t) - 1 == 13);
// The launchers' trace of launches that did not start the application,
// inside the product folder.
inline constexpr wchar_t kLaunchLogFile[] = L"launcher.log";
// A version is read with room for this many code units.
inline constexpr unsigned long kVersionUnits = 260;

}  // namespace product_layout
