// Where the product lives: the launcher's folder, the user's data root and the
// product folders in it, the folder the application module is loaded from,
// and the verification cache file. Folder results end with exactly one
// backslash (except DataRoot, which is as the system gives it); an empty
// result means nothing was found. Apart from the roaming folder of the
// process's own account, every call asks the system afresh.
#pragma once

#include <string>

namespace ProductPaths {

// The running executable's folder; empty when the system cannot name it.
std::wstring LauncherDirectory();

// The roaming application-data folder of the account whose token the calling
// thread uses, from the shell, else from %APPDATA%, whole at any length.
// False, with `folder` untouched, when neither gives one. The shell is asked
// once per process for the process's own account; a thread that impersonates
// gets an answer asked for it alone.
bool RoamingAppData(std::wstring& folder);

// Makes the next RoamingAppData() ask the shell again, for tests that point
// the folder elsewhere within one process.
void ForgetRoamingAppDataForTesting();

// True when the calling thread's own roaming application-data folder lies in
// the system profile: the launcher runs as the system account and must not act
// on the user's files, or start programs, with that account's rights.
bool RunsAsSystemAccount();

// The user's roaming application-data folder. Under the system account it is
// the folder of the user at the console, found while impersonating that user;
// empty when there is no such user or no folder at all.
std::wstring DataRoot();

// DataRoot() + "VaroPic\"; only the relative part when there is no data root.
// The second form joins a data root that the caller resolved once.
std::wstring ProductDataDirectory();
std::wstring ProductDataDirectory(const std::wstring& dataRoot);

// DataRoot() + "VaroPic\Application\"; only the relative part when there is
// no data root.
std::wstring ApplicationRoot();
std::wstring ApplicationRoot(const std::wstring& dataRoot);

// The folder to load the application module from, and where it was found.
struct ApplicationDirectoryChoice {
  enum class Source {
    None,               // none of the three is an existing folder
    ConfiguredVersion,  // the version folder that the ini file names
    InstallPath,        // the machine-wide install path in the registry
    LauncherFolder,     // the launcher's own folder
  };
  std::wstring folder;  // with one trailing backslash; empty for None
  Source source = Source::None;
};

// First match wins: the version folder named by `key` in `section` of
// `iniFile` in the product folder (a plain folder name only), the registry
// install path, `launcherDirectory`.
ApplicationDirectoryChoice ChooseApplicationDirectory(const std::wstring& productFolder, const std::wstring& iniFile,
                                                      const std::wstring& section, const std::wstring& key,
                                                      const std::wstring& launcherDirectory);

// ChooseApplicationDirectory's folder for the running launcher's own folder;
// empty when none of them is an existing folder.
std::wstring ApplicationDirectory(const std::wstring& productFolder, const std::wstring& iniFile,
                                  const std::wstring& section, const std::wstring& key);

// HKLM\SOFTWARE\<productFolder> value "Path" from the 64-bit registry view,
// else the 32-bit one. Empty when `productFolder` is empty or neither view
// holds a value.
std::wstring RegistryInstallPath(const std::wstring& productFolder);

// The verification cache file in the product folder of the roaming folder
// the shell names for the calling thread's account (never impersonating, and
// never from %APPDATA%). Empty when that folder does not exist: it is not
// created here.
std::wstring SignerCacheLocation();

}  // namespace ProductPaths
