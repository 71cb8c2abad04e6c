#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cache/cache_file.h"
#include "host/launch_trace.h"
#include "ini_and_log/bounded_log.h"
#include "locations/product_layout.h"
#include "platform/path_text.h"
#include "platform/unique_handle.h"
#include "tests/e2e/launcher_security_fixture.h"

// Launches set up the way an attacker would: a launcher renamed while it
// runs or swapped before it starts, libraries planted beside it under system
// and run-time names or wherever the module's imports might be found, a
// damaged cache record, side files that cannot be deleted or converted. Each
// must end with no foreign code running and a product that still starts.

namespace {

// Whether the launch log at `log` has a line saying that the load guard
// stopped the launch at `file` (compared without case; the paths in these
// tests are ASCII, so the UTF-8 line is read byte by byte).
bool StoppedByLoadGuard(const std::wstring& log, const std::wstring& file) {
  for (const std::string& bytes : bounded_log::LastLines(log, 16, 64 * 1024)) {
    bool stopped = false;
    bool named = false;
    for (const TraceField& field : ReadTraceLine(std::wstring(bytes.begin(), bytes.end()))) {
      stopped = stopped || (field.name == L"outcome" && field.value == L"stopped by the load guard");
      named = named || (field.name == L"file" && PathText::ToLower(field.value) == PathText::ToLower(file));
    }
    if (stopped && named) return true;
  }
  return false;
}

// Catches a launcher that leaves its own file free while it runs: renamed,
// it could be replaced by a file whose publisher the launcher would then take
// for its own. It stays where it is, and foreign files stay refused.
TEST_F(LauncherSecurityTest, RunningLauncherCannotBeRenamed) {
  const std::wstring launcher = InstallProduct(kPicViewer);
  const std::wstring foreign = VersionFolder(L"1.0") + L"other.dll";
  Copy(Artifact(L"companion-foreign.dll"), foreign);
  const std::wstring gate = temp_.Path(L"gate");
  SetEnvironment(L"VARO_TEST_APP_GATE", gate);
  SetEnvironment(L"VARO_TEST_APP_CHECK", foreign);

  auto process = StartProcess(launcher, L"");
  ASSERT_TRUE(process);
  ASSERT_TRUE(WaitForFile(gate + L".ready", kLaunchTimeout)) << "the application module did not start";
  EXPECT_FALSE(::MoveFileW(launcher.c_str(), (launcher + L".moved").c_str()));
  temp_.WriteFile(L"gate", std::vector<uint8_t>());
  EXPECT_EQ(WaitForExit(process, kLaunchTimeout), 3u);
  EXPECT_NE(Recorded().value_or(L"").find(L"check=refused\n"), std::wstring::npos) << Recorded().value_or(L"");
}

// Catches a launcher that takes its own publisher from whatever file is at
// its path when it first asks: started suspended, its file renamed and
// another put in its place before its first instruction, it read the
// replacement's verdict, and an unsigned copy then accepted every module, a
// foreign-signed copy its own publisher's.
TEST_F(LauncherSecurityTest, LauncherSwappedBeforeItRunsVouchesForNothing) {
  struct Case {
    const wchar_t* program;
    const wchar_t* replacement;  // folder of the copy put at the launcher's path
    const wchar_t* module;       // what that copy would vouch for
  };
  const Case cases[] = {
      {kPicViewer, L"unsigned\\", L"app-unsigned.dll"},
      {kPicViewer, L"foreign\\", L"app-foreign.dll"},
      {kPdfReader, L"unsigned\\", L"app-unsigned.dll"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::wstring(c.program) + L" replaced by " + c.replacement));
    const std::wstring launcher = InstallProduct(c.program);
    InstallVersion(L"1.0", c.module);
    ::DeleteFileW((browser_ + L".args").c_str());

    SuspendedProcess started = StartSuspendedProcess(launcher, L"");
    ASSERT_TRUE(started.process);
    ASSERT_TRUE(::MoveFileW(launcher.c_str(), (launcher + L".moved").c_str()));
    Copy(Artifact(std::wstring(c.replacement) + c.program), launcher);
    ::ResumeThread(started.thread.Get());
    EXPECT_EQ(WaitForExit(started.process, kLaunchTimeout), 0u);

    EXPECT_FALSE(Recorded()) << "the module ran";
    EXPECT_TRUE(HomePageOpened());
    ::DeleteFileW((launcher + L".moved").c_str());
  }
}

// Catches libraries of the application module looked for where the loader
// looks by default: the current folder, PATH, the launcher's folder for a
// delayed import, and an unsigned one in the module's own folder. Only a
// signed library of the module's folder, or the system's, may come along;
// the module of a missing one does not load.
TEST_F(LauncherSecurityTest, ModuleLibrariesComeFromItsFolderSignedOrFromTheSystem) {
  enum class Site { VersionFolder, CurrentFolder, PathFolder, LauncherFolder };
  struct Case {
    const wchar_t* module;
    Site site;
    const wchar_t* library;  // the copy planted as helper.dll
    bool runs;
  };
  const Case cases[] = {
      {L"app-imports-helper.dll", Site::VersionFolder, L"marker-allowed.dll", true},
      {L"app-imports-helper.dll", Site::VersionFolder, L"marker.dll", false},
      {L"app-imports-helper.dll", Site::CurrentFolder, L"marker.dll", false},
      {L"app-imports-helper.dll", Site::PathFolder, L"marker.dll", false},
      {L"app-imports-helper.dll", Site::LauncherFolder, L"marker.dll", false},
      {L"app-delays-helper.dll", Site::VersionFolder, L"marker-allowed.dll", true},
      {L"app-delays-helper.dll", Site::VersionFolder, L"marker.dll", false},
      {L"app-delays-helper.dll", Site::CurrentFolder, L"marker.dll", false},
      {L"app-delays-helper.dll", Site::PathFolder, L"marker.dll", false},
      {L"app-delays-helper.dll", Site::LauncherFolder, L"marker.dll", false},
  };
  const std::wstring launcher = InstallProduct(kPicViewer);
  const std::wstring currentFolder = temp_.Path(L"current\\");
  const std::wstring pathFolder = temp_.Path(L"path\\");
  const std::wstring sites[] = {VersionFolder(L"1.0"), currentFolder, pathFolder, launcherFolder_};
  FileSystem::CreateDirectoryTree(currentFolder);
  FileSystem::CreateDirectoryTree(pathFolder);
  const std::wstring path = Environment(L"PATH");
  SetEnvironment(L"PATH", pathFolder + L";" + path);
  wchar_t previousFolder[MAX_PATH] = {};
  ::GetCurrentDirectoryW(MAX_PATH, previousFolder);
  ::SetCurrentDirectoryW(currentFolder.c_str());

  for (const Case& c : cases) {
    const std::wstring planted = sites[static_cast<int>(c.site)] + L"helper.dll";
    SCOPED_TRACE(::testing::PrintToString(std::wstring(c.module) + L" with " + c.library + L" as " + planted));
    ReplaceModule(c.module);
    Copy(Artifact(c.library), planted);
    for (const std::wstring& file : {record_, markers_ + L"helper.dll.loaded", browser_ + L".args"}) {
      ::DeleteFileW(file.c_str());
    }

    Launch(launcher);
    EXPECT_EQ(Recorded().has_value(), c.runs);
    EXPECT_EQ(MarkerLoaded(L"helper.dll"), c.runs);
    if (c.runs) {
      EXPECT_NE(Recorded().value_or(L"").find(L"helper=7\n"), std::wstring::npos);
    }
    // Only a library of the product's own that fails its check is worth
    // telling the user about; one found nowhere leaves the module unloaded.
    const bool refused = !c.runs && c.site == Site::VersionFolder;
    EXPECT_EQ(refused ? HomePageOpened() : WasStarted(browser_), refused);
    // A launcher that crashed may hold its files for a moment longer.
    for (int i = 0; i < 500 && !::DeleteFileW(planted.c_str()); ++i) ::Sleep(10);
    ASSERT_FALSE(FileSystem::Exists(planted));
  }
  ::SetCurrentDirectoryW(previousFolder);
  SetEnvironment(L"PATH", path);
}

// Catches system libraries loaded by the default search, which looks in the
// launcher's folder first: empty trust libraries there left the launcher
// without a signer of its own, and then every module was accepted; the
// theme library that a message box loads by name ran whatever was planted
// under its name. The debug-help library is where Wine parts from Windows:
// Wine resolves the imports of its own libraries (imagehlp's, which comes
// with the trust library) through the program's folder when a native copy
// is preferred there, whatever search the process asked for, where Windows
// takes them from the system folder. Under Wine the load guard has to stop
// the launch before that copy's start-up code runs, and the trace names it.
TEST_F(LauncherSecurityTest, SystemLibrariesBesideTheLauncherAreNotLoaded) {
  const std::wstring launcher = InstallProduct(kPicViewer);
  ReplaceModule(L"app-unsigned.dll");
  struct Case {
    const wchar_t* name;
    bool stoppedUnderWine;
  };
  const Case cases[] = {{L"wintrust", false}, {L"crypt32", false}, {L"uxtheme", false}, {L"dbghelp", true}};
  for (const Case& c : cases) {
    Copy(Artifact(L"marker.dll"), launcherFolder_ + c.name + L".dll");
    PreferLocalCopies(kPicViewer, c.name);
  }

  EXPECT_EQ(Launch(launcher), 0u);
  EXPECT_FALSE(Recorded());
  const std::wstring log = ProductFolder() + product_layout::kLaunchLogFile;
  for (const Case& c : cases) {
    const std::wstring planted = launcherFolder_ + c.name + L".dll";
    SCOPED_TRACE(::testing::PrintToString(planted));
    EXPECT_FALSE(MarkerLoaded(std::wstring(c.name) + L".dll"));
    EXPECT_EQ(StoppedByLoadGuard(log, planted), c.stoppedUnderWine);
  }
}

// Catches a run-time preload that runs whatever carries the run-time's name
// beside a copy of the launcher; a genuine copy is still preloaded.
TEST_F(LauncherSecurityTest, OnlyGenuineRunTimeLibrariesArePreloaded) {
  const std::wstring launcher = InstallProduct(kPicViewer);
  for (const wchar_t* name : {L"vcruntime140", L"msvcp140"}) {
    Copy(Artifact(L"marker.dll"), launcherFolder_ + name + L".dll");
    PreferLocalCopies(kPicViewer, name);
  }
  EXPECT_EQ(Launch(launcher), 3u);
  EXPECT_FALSE(MarkerLoaded(L"vcruntime140.dll"));
  EXPECT_FALSE(MarkerLoaded(L"msvcp140.dll"));

  Copy(Artifact(L"marker-allowed.dll"), launcherFolder_ + L"vcruntime140.dll");
  EXPECT_EQ(Launch(launcher), 3u);
  EXPECT_TRUE(MarkerLoaded(L"vcruntime140.dll"));
  EXPECT_FALSE(MarkerLoaded(L"msvcp140.dll"));
}

// Catches a module signed by a forgery of the launcher's own publisher
// trusted because Wine's trust provider skips its final policy for SHA-256
// certificates: one under a root no store knows, one issued by itself.
TEST_F(LauncherSecurityTest, ForgedPublisherIsRefusedWhateverTheDigest) {
  const std::wstring launcher = InstallProduct(kPicViewer);
  for (const wchar_t* module : {L"app-forgery-sha256.dll", L"app-self-signed.dll"}) {
    SCOPED_TRACE(::testing::PrintToString(std::wstring(module)));
    ReplaceModule(module);
    ::DeleteFileW(record_.c_str());
    ::DeleteFileW((browser_ + L".args").c_str());
    EXPECT_EQ(Launch(launcher), 0u);
    EXPECT_FALSE(Recorded()) << "the module ran";
    EXPECT_TRUE(HomePageOpened());
  }
}

// Catches a re-check after a stale cache answer that compares only with the
// launcher's own publisher: a module of another allowed publisher whose
// record names a wrong signer must still load in the same launch.
TEST_F(LauncherSecurityTest, DamagedCacheRecordDoesNotRefuseAnAllowedModule) {
  const std::wstring launcher = InstallProduct(kPicViewer);
  EXPECT_EQ(Launch(launcher), 3u);
  const std::wstring cacheFile = ProductFolder() + product_layout::kCacheFileName;
  std::vector<CacheEntry> entries;
  bool corrupt = false;
  ASSERT_TRUE(ReadCacheFile(cacheFile, entries, corrupt));
  bool damaged = false;
  for (CacheEntry& entry : entries) {
    if (entry.path.find(L"VaroImageApp.dll") == std::wstring::npos) continue;
    entry.signer = L"Foreign Test Publisher Ltd";
    damaged = true;
  }
  ASSERT_TRUE(damaged);
  ASSERT_TRUE(WriteCacheFile(cacheFile, entries));

  ::DeleteFileW(record_.c_str());
  EXPECT_EQ(Launch(launcher), 3u);
  EXPECT_TRUE(Recorded());
  EXPECT_FALSE(WasStarted(browser_));
}

// Catches "config.ini" rewritten while the side file stays: the same version
// would be handed over again at every launch.
TEST_F(LauncherSecurityTest, SideFileThatCannotBeDeletedLeavesConfigAlone) {
  const std::wstring launcher = InstallProduct(kPicViewer);
  InstallVersion(L"2.0");
  WriteIni(L"temp.ini", L"2.0");
  {
    // Readable by others, but nobody may delete it while this is open.
    platform::UniqueFileHandle held(::CreateFileW((ProductFolder() + L"temp.ini").c_str(), GENERIC_READ,
                                                  FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    EXPECT_EQ(Launch(launcher), 3u);
    EXPECT_EQ(ConfiguredVersion(), L"1.0");
    EXPECT_TRUE(FileSystem::Exists(ProductFolder() + L"temp.ini"));
  }
  EXPECT_EQ(Launch(launcher), 3u);
  EXPECT_EQ(ConfiguredVersion(), L"2.0");
  EXPECT_FALSE(FileSystem::Exists(ProductFolder() + L"temp.ini"));
}

// Catches a version that "config.ini" cannot hold: written into the ANSI
// file it came back as another name, and from then on no launch ran
// anything.
TEST_F(LauncherSecurityTest, NonAsciiPendingVersionKeepsTheProductRunning) {
  const std::wstring launcher = InstallProduct(kPicViewer);
  InstallVersion(L"版本2");
  const std::wstring text = L"\xFEFF[Upgrade]\r\nVersion=版本2\r\n";
  std::vector<uint8_t> bytes(reinterpret_cast<const uint8_t*>(text.data()),
                             reinterpret_cast<const uint8_t*>(text.data() + text.size()));
  temp_.WriteFile(L"AppData\\VaroPic\\temp.ini", bytes);

  EXPECT_EQ(Launch(launcher), 3u);
  EXPECT_EQ(ConfiguredVersion(), L"1.0");
  EXPECT_FALSE(FileSystem::Exists(ProductFolder() + L"temp.ini"));
  EXPECT_EQ(Launch(launcher), 3u);
}

}  // namespace
