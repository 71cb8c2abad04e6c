#include "locations/product_paths.h"

#include <vector>

// The shell's header after ours, so that our Windows switches apply to it.
#include "platform/win.h"

#include <shlobj.h>

#include "locations/file_system.h"
#include "locations/interactive_user_impersonation.h"
#include "locations/path_text.h"
#include "locations/plain_folder_name.h"
#include "platform/get_proc.h"
#include "platform/module_file_name.h"
#include "platform/system_library_cache.h"
#include "platform/unique_memory.h"
#include "locations/product_layout.h"
#include "platform/registry_reader.h"

namespace ProductPaths {
namespace {

using product_layout::kProductFolder;
constexpr wchar_t kProductFolderWithSeparator[] = L"VaroPic\\";
constexpr wchar_t kApplicationRoot[] = L"VaroPic\\Application\\";
constexpr wchar_t kApplicationFolder[] = L"\\Application\\";
constexpr wchar_t kRegistryKeyPrefix[] = L"SOFTWARE\\";
constexpr wchar_t kInstallPathValue[] = L"Path";
constexpr wchar_t kAppDataVariable[] = L"APPDATA";
constexpr wchar_t kSystemProfileMarker[] = L"config\\systemprofile";

// Buffer sizes in code units.
constexpr size_t kShellPathBuffer = 1040;
constexpr size_t kCacheShellPathBuffer = 520;
constexpr DWORD kAppDataVariableBuffer = 519;
constexpr DWORD kVersionOffered = product_layout::kVersionUnits;
constexpr size_t kRegistryBufferBytes = 2048;

struct ShellFolderFunctions {
  decltype(&::SHGetSpecialFolderLocation) getSpecialFolderLocation = nullptr;
  decltype(&::SHGetPathFromIDListW) getPathFromIDList = nullptr;
  decltype(&::CoTaskMemFree) coTaskMemFree = nullptr;
};

bool BindShellFolderFunctions(ShellFolderFunctions& f) {
  auto& libraries = platform::SystemLibraryCache::Instance();
  HMODULE shell = libraries.GetLibrary(L"Shell32.dll");
  HMODULE ole = libraries.GetLibrary(L"Ole32.dll");
  using platform::GetProc;
  f.getSpecialFolderLocation = GetProc<decltype(f.getSpecialFolderLocation)>(shell, "SHGetSpecialFolderLocation");
  f.getPathFromIDList = GetProc<decltype(f.getPathFromIDList)>(shell, "SHGetPathFromIDListW");
  f.coTaskMemFree = GetProc<decltype(f.coTaskMemFree)>(ole, "CoTaskMemFree");
  return f.getSpecialFolderLocation && f.getPathFromIDList && f.coTaskMemFree;
}

// The roaming application-data folder as the shell names it; false when it
// names none.
bool ShellAppData(const ShellFolderFunctions& f, size_t bufferSize, std::wstring& folder) {
  PIDLIST_ABSOLUTE list = nullptr;
  if (FAILED(f.getSpecialFolderLocation(nullptr, CSIDL_APPDATA, &list))) return false;
  platform::UniqueSystemMemory<ITEMIDLIST> owned(list, f.coTaskMemFree);
  std::vector<wchar_t> path(bufferSize, L'\0');
  if (!owned || !f.getPathFromIDList(owned.get(), path.data())) return false;
  folder = path.data();
  return true;
}

bool IsSystemProfile(const std::wstring& folder) {
  return PathText::ToLower(folder).find(kSystemProfileMarker) != std::wstring::npos;
}

// `path` with one trailing backslash when it is an existing folder, else
// empty.
std::wstring ExistingFolder(std::wstring path) {
  if (!FileSystem::IsDirectory(path)) return {};
  PathText::Normalize(path, PathText::OneTrailingSeparator);
  return path;
}

std::wstring ConfiguredVersionDirectory(const std::wstring& productFolder, const std::wstring& iniFile,
                                        const std::wstring& section, const std::wstring& key) {
  // Without a data root the paths would be relative to whatever the current
  // folder is, and a "config.ini" there would choose the code to load.
  const std::wstring root = DataRoot();
  if (root.empty()) return {};
  const std::wstring productDir = PathText::Join(root, productFolder) + L"\\";
  const std::wstring iniPath = productDir + iniFile;
  if (!FileSystem::IsFile(iniPath)) return {};
  wchar_t version[kVersionOffered + 1] = {};
  ::GetPrivateProfileStringW(section.c_str(), key.c_str(), L"", version, kVersionOffered, iniPath.c_str());
  // The file is the user's: under the system account a value that leaves the
  // application root would choose where the system account loads code from.
  if (!IsPlainFolderName(version)) return {};
  return ExistingFolder(PathText::Join(root, productFolder) + kApplicationFolder + version);
}

// One string value under HKEY_LOCAL_MACHINE; empty on any failure. Two
// bytes fewer than the 2048-byte buffer are offered, so the text always ends
// in a zero even when the stored value has none.
std::wstring ReadMachineString(const std::wstring& subKey, const wchar_t* valueName, REGSAM access) {
  return platform::RegistryReader().ReadText(HKEY_LOCAL_MACHINE, subKey.c_str(), valueName, access,
                                             kRegistryBufferBytes - sizeof(wchar_t));
}

// RoamingAppData() asked while impersonating the user at the console, for
// this one query. When that user cannot be impersonated the thread's own
// answer comes back.
bool ConsoleUserRoamingAppData(std::wstring& folder) {
  InteractiveUserImpersonation impersonation;
  impersonation.Begin();
  return RoamingAppData(folder);
}

}  // namespace

std::wstring LauncherDirectory() {
  const std::wstring path = platform::ModuleFileName(nullptr);
  std::wstring directory;
  if (path.empty() || !PathText::DirectoryOf(path, directory)) return {};
  PathText::Normalize(directory, PathText::OneTrailingSeparator);
  return directory;
}

bool RoamingAppData(std::wstring& folder) {
  ShellFolderFunctions shell;
  if (BindShellFolderFunctions(shell) && ShellAppData(shell, kShellPathBuffer, folder)) return true;
  wchar_t value[kAppDataVariableBuffer] = {};
  const DWORD length = ::GetEnvironmentVariableW(kAppDataVariable, value, kAppDataVariableBuffer);
  // A value too long for the buffer comes back as the size it would need.
  if (length == 0 || length >= kAppDataVariableBuffer) return false;
  folder.assign(value, length);
  return true;
}

bool RunsAsSystemAccount() {
  std::wstring own;
  return RoamingAppData(own) && IsSystemProfile(own);
}

std::wstring DataRoot() {
  std::wstring own;
  if (!RoamingAppData(own)) return {};
  if (!IsSystemProfile(own)) return own;

  // The system account's own profile holds no product: ask again as the user
  // at the console.
  std::wstring user;
  if (!ConsoleUserRoamingAppData(user) || IsSystemProfile(user)) return {};
  return user;
}

std::wstring ProductDataDirectory() { return ProductDataDirectory(DataRoot()); }
std::wstring ProductDataDirectory(const std::wstring& dataRoot) {
  return PathText::Join(dataRoot, kProductFolderWithSeparator);
}

std::wstring ApplicationRoot() { return ApplicationRoot(DataRoot()); }
std::wstring ApplicationRoot(const std::wstring& dataRoot) { return PathText::Join(dataRoot, kApplicationRoot); }

std::wstring ApplicationDirectory(const std::wstring& productFolder, const std::wstring& iniFile,
                                  const std::wstring& section, const std::wstring& key) {
  std::wstring found = ConfiguredVersionDirectory(productFolder, iniFile, section, key);
  if (found.empty()) found = ExistingFolder(RegistryInstallPath(productFolder));
  if (found.empty()) found = ExistingFolder(LauncherDirectory());
  return found;
}

std::wstring RegistryInstallPath(const std::wstring& productFolder) {
  if (productFolder.empty()) return {};
  const std::wstring subKey = kRegistryKeyPrefix + productFolder;
  std::wstring path = ReadMachineString(subKey, kInstallPathValue, KEY_READ);
  if (path.empty()) path = ReadMachineString(subKey, kInstallPathValue, KEY_READ | KEY_WOW64_32KEY);
  PathText::Normalize(path, PathText::OneTrailingSeparator);
  return path;
}

std::wstring SignerCacheLocation() {
  // Linked rather than bound: the launchers import Shell32 and Ole32 anyway.
  const ShellFolderFunctions linked{&::SHGetSpecialFolderLocation, &::SHGetPathFromIDListW, &::CoTaskMemFree};
  std::wstring appData;
  // Without the folder the text would name "\VaroPic" at the root of the
  // current drive, which is nobody's product folder.
  if (!ShellAppData(linked, kCacheShellPathBuffer, appData) || appData.empty()) return {};
  const std::wstring productFolder = PathText::Join(appData, kProductFolder);
  if (!FileSystem::IsDirectory(productFolder)) return {};
  return productFolder + L"\\" + product_layout::kCacheFileName;
}

}  // namespace ProductPaths
