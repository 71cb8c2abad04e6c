#include "locations/product_paths.h"

#include <vector>

// The shell's header after ours, so that our Windows switches apply to it.
#include "platform/win.h"

#include <shlobj.h>

#include "ini_and_log/profile_file.h"
#include "locations/interactive_user_impersonation.h"
#include "locations/plain_folder_name.h"
#include "locations/product_layout.h"
#include "platform/critical_section.h"
#include "platform/file_system.h"
#include "platform/get_proc.h"
#include "platform/module_file_name.h"
#include "platform/path_text.h"
#include "platform/registry_reader.h"
#include "platform/system_library_cache.h"
#include "platform/unique_handle.h"
#include "platform/unique_memory.h"

namespace ProductPaths {
namespace {

using product_layout::kApplicationFolder;
using product_layout::kProductFolder;
constexpr wchar_t kRegistryKeyPrefix[] = L"SOFTWARE\\";
constexpr wchar_t kInstallPathValue[] = L"Path";
constexpr wchar_t kAppDataVariable[] = L"APPDATA";
constexpr wchar_t kSystemProfileMarker[] = L"config\\systemprofile";
// Room for the longest path Windows allows, and its terminator, in bytes.
constexpr DWORD kLongestPathBytes = 32768 * sizeof(wchar_t);
// FOLDERID_RoamingAppData, spelt out so that no import library has to
// provide it.
constexpr KNOWNFOLDERID kRoamingAppDataId = {0x3eb685db, 0x65f9, 0x4cf6,
                                             {0xa0, 0x3a, 0xe3, 0xef, 0x65, 0x72, 0x9f, 0x3d}};

// True unless the calling thread is known to run under the process's own
// token: a folder asked for then is another account's, or may be.
bool ThreadMayImpersonate() {
  const auto openThreadToken = platform::GetProc<decltype(&::OpenThreadToken)>(
      platform::SystemLibraryCache::Instance().GetLibrary(L"Advapi32.dll"), "OpenThreadToken");
  if (openThreadToken == nullptr) return true;
  HANDLE opened = nullptr;
  if (openThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, &opened)) {
    platform::UniqueKernelHandle token(opened);
    return true;
  }
  return ::GetLastError() != ERROR_NO_TOKEN;
}

// SHGetFolderPathW fills a MAX_PATH buffer and gives no folder longer than
// that; SHGetKnownFolderPath (Windows Vista and later, so bound) has no such
// limit.
bool AskShell(std::wstring& folder) {
  wchar_t path[MAX_PATH] = {};
  if (::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path) == S_OK && path[0] != L'\0') {
    folder = path;
    return true;
  }
  const auto getKnownFolderPath = platform::GetProc<decltype(&::SHGetKnownFolderPath)>(
      ::GetModuleHandleW(L"Shell32.dll"), "SHGetKnownFolderPath");
  PWSTR known = nullptr;
  if (getKnownFolderPath == nullptr || FAILED(getKnownFolderPath(kRoamingAppDataId, 0, nullptr, &known))) {
    return false;
  }
  const platform::UniqueSystemMemory<wchar_t> owned(known, &::CoTaskMemFree);
  if (!owned || owned.get()[0] == L'\0') return false;
  folder = owned.get();
  return true;
}

// The shell's answer for the process's own account, asked once: a launch
// needs it several times, and every question costs dozens of round trips to
// the Wine server. Never destroyed, since CheckSigner may still be asked
// while the exit handlers run.
class OwnShellFolder {
 public:
  static OwnShellFolder& Instance() {
    static OwnShellFolder& instance = *new OwnShellFolder;
    return instance;
  }

  bool Get(std::wstring& folder) {
    {
      auto guard = lock_.Lock();
      if (asked_) return Answer(folder);
    }
    // Asked outside the lock: the shell's own start-up may take the loader
    // lock, which another thread may hold while it waits for ours.
    std::wstring found;
    const bool ok = AskShell(found);
    auto guard = lock_.Lock();
    if (!asked_) {
      asked_ = true;
      found_ = ok;
      folder_ = std::move(found);
    }
    return Answer(folder);
  }

  void Forget() {
    auto guard = lock_.Lock();
    asked_ = false;
    found_ = false;
    folder_.clear();
  }

 private:
  bool Answer(std::wstring& folder) const {
    if (found_) folder = folder_;
    return found_;
  }

  platform::CriticalSection lock_;
  bool asked_ = false;
  bool found_ = false;
  std::wstring folder_;
};

// The shell's answer for the account whose token the calling thread uses.
bool ShellRoamingAppData(std::wstring& folder) {
  if (ThreadMayImpersonate()) return AskShell(folder);
  return OwnShellFolder::Instance().Get(folder);
}

bool AppDataVariable(std::wstring& folder) {
  // The value may change between the size query and the read.
  for (DWORD size = ::GetEnvironmentVariableW(kAppDataVariable, nullptr, 0); size != 0;) {
    std::vector<wchar_t> value(size, L'\0');
    const DWORD length = ::GetEnvironmentVariableW(kAppDataVariable, value.data(), size);
    if (length == 0) return false;
    if (length < size) {
      folder.assign(value.data(), length);
      return true;
    }
    size = length;
  }
  return false;
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
  std::wstring version;
  if (!ReadProfileString(productDir + iniFile, section, key, version)) return {};
  // The file is the user's: under the system account a value that leaves the
  // application root would choose where the system account loads code from.
  if (!IsPlainFolderName(version)) return {};
  return ExistingFolder(productDir + kApplicationFolder + L"\\" + version);
}

// One string value under HKEY_LOCAL_MACHINE; empty on any failure.
std::wstring ReadMachineString(const std::wstring& subKey, const wchar_t* valueName, REGSAM access) {
  return platform::RegistryReader().ReadText(HKEY_LOCAL_MACHINE, subKey.c_str(), valueName, access,
                                             kLongestPathBytes);
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

bool RoamingAppData(std::wstring& folder) { return ShellRoamingAppData(folder) || AppDataVariable(folder); }

void ForgetRoamingAppDataForTesting() { OwnShellFolder::Instance().Forget(); }

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
  return PathText::Join(dataRoot, kProductFolder) + L"\\";
}

std::wstring ApplicationRoot() { return ApplicationRoot(DataRoot()); }
std::wstring ApplicationRoot(const std::wstring& dataRoot) {
  return ProductDataDirectory(dataRoot) + kApplicationFolder + L"\\";
}

ApplicationDirectoryChoice ChooseApplicationDirectory(const std::wstring& productFolder, const std::wstring& iniFile,
                                                      const std::wstring& section, const std::wstring& key,
                                                      const std::wstring& launcherDirectory) {
  using Source = ApplicationDirectoryChoice::Source;
  if (std::wstring found = ConfiguredVersionDirectory(productFolder, iniFile, section, key); !found.empty()) {
    return {std::move(found), Source::ConfiguredVersion};
  }
  if (std::wstring found = ExistingFolder(RegistryInstallPath(productFolder)); !found.empty()) {
    return {std::move(found), Source::InstallPath};
  }
  if (std::wstring found = ExistingFolder(launcherDirectory); !found.empty()) {
    return {std::move(found), Source::LauncherFolder};
  }
  return {};
}

std::wstring ApplicationDirectory(const std::wstring& productFolder, const std::wstring& iniFile,
                                  const std::wstring& section, const std::wstring& key) {
  return ChooseApplicationDirectory(productFolder, iniFile, section, key, LauncherDirectory()).folder;
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
  std::wstring appData;
  // Without the folder the text would name "\VaroPic" at the root of the
  // current drive, which is nobody's product folder.
  if (!ShellRoamingAppData(appData) || appData.empty()) return {};
  const std::wstring productFolder = PathText::Join(appData, kProductFolder);
  if (!FileSystem::IsDirectory(productFolder)) return {};
  return productFolder + L"\\" + product_layout::kCacheFileName;
}

}  // namespace ProductPaths
