#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/e2e/launcher_security_fixture.h"
#include "tests/support/child_process.h"

// Libraries that reach the application module by a name rather than by the
// path the launcher checked: names the loader reads otherwise than they are
// written, a product library's forwarded export, a system library's own
// imports, names looked up once the module runs, delayed imports that the
// image's delay table does not list, and a manifest beside the launcher.
// Each launch must end with no unsigned code running from a folder a user
// can write; a signed product library found by such a name still runs.

namespace {

using Folders = std::vector<std::wstring>;
// Artifacts and the names they are planted under.
using Planted = std::vector<std::pair<const wchar_t*, const wchar_t*>>;

// The names the tests give the relay and a marker in the system folder.
constexpr wchar_t kSystemOne[] = L"varosysone.dll";
constexpr wchar_t kSystemTwo[] = L"varosystwo.dll";

// An assembly's identity element, and a manifest with it and `body`.
std::string Identity(const std::string& name) {
  return "<assemblyIdentity type=\"win32\" name=\"" + name +
         "\" version=\"1.0.0.0\" processorArchitecture=\"amd64\"/>\n";
}

std::string Manifest(const std::string& name, const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
         "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\n  " +
         Identity(name) + body + "</assembly>\n";
}

class LauncherLoadPathTest : public LauncherSecurityTest {
 protected:
  void SetUp() override {
    LauncherSecurityTest::SetUp();
    launcher_ = InstallLauncher(kPicViewer);
  }

  // The system folder is the prefix's, which later tests share.
  void TearDown() override {
    for (const std::wstring& file : systemFiles_) Remove(file);
    LauncherSecurityTest::TearDown();
  }

  static std::wstring SystemFolder() {
    wchar_t folder[MAX_PATH] = {};
    ::GetSystemDirectoryW(folder, MAX_PATH);
    return std::wstring(folder) + L"\\";
  }

  // The relay as varosysone.dll and a marker as varosystwo.dll, which the
  // relay imports, in the system folder until the test ends, passed or not.
  void PlantSystemLibraries() {
    for (const auto& [artifact, name] : Planted{{L"marker-relay.dll", kSystemOne}, {L"marker.dll", kSystemTwo}}) {
      systemFiles_.push_back(SystemFolder() + name);
      Copy(Artifact(artifact), systemFiles_.back());
    }
  }

  // A version of its own for each launch, so that nothing planted for one
  // launch is there for the next: `module` as the application module and
  // `planted` beside it, recorded as the installed version. Forgets the last
  // launch's record, markers and notice. Returns the version's folder.
  std::wstring LayOut(const wchar_t* module, const Planted& planted) {
    const std::wstring version = L"1." + std::to_wstring(++versions_);
    const std::wstring folder = InstallVersion(version, module);
    for (const auto& [artifact, name] : planted) Copy(Artifact(artifact), folder + name);
    WriteIni(L"config.ini", version);
    ::DeleteFileW(record_.c_str());
    ::DeleteFileW((browser_ + L".args").c_str());
    ForgetMarkers();
    return folder;
  }

  // Launches. The library planted as `name` in the version folder `folder`
  // must, signed, have run from there with the module and, unsigned, have
  // kept the module from running (the failure notice tells why) and itself
  // have run nowhere.
  void LaunchExpectingProductLibrary(const std::wstring& folder, const wchar_t* name, bool runs) {
    EXPECT_EQ(Launch(launcher_), runs ? 3u : 0u);
    EXPECT_EQ(MarkerFolders(name), runs ? Folders{Folded(folder)} : Folders{});
    if (runs) {
      EXPECT_NE(Recorded().value_or(L"").find(L"helper=7\n"), std::wstring::npos) << Recorded().value_or(L"");
      EXPECT_FALSE(WasStarted(browser_));
    } else {
      EXPECT_FALSE(Recorded()) << "the module ran";
      EXPECT_TRUE(HomePageOpened()) << "no failure notice";
    }
  }

  // The module ran and recorded `answer`, and the only varosystwo.dll that
  // ran is the system folder's.
  void ExpectSystemCopyOnly(const wchar_t* answer) {
    EXPECT_NE(Recorded().value_or(L"").find(answer), std::wstring::npos) << Recorded().value_or(L"");
    EXPECT_EQ(MarkerFolders(kSystemTwo), Folders{Folded(SystemFolder())});
  }

  // Deletes a planted file, giving a launcher that crashed a moment to let
  // go of it.
  static void Remove(const std::wstring& file) {
    for (int i = 0; i < 500 && !::DeleteFileW(file.c_str()) && ::GetLastError() != ERROR_FILE_NOT_FOUND; ++i) {
      ::Sleep(10);
    }
  }

  std::wstring launcher_;
  std::vector<std::wstring> systemFiles_;
  int versions_ = 0;
};

// Catches a walk that takes every "api-ms-" or "ext-ms-" name for one of the
// system's API sets and looks no further: where the system's schema lacks
// the name (the CRT's on Windows 7 and 8.1, any unknown one under Wine), the
// loader maps the file of that name from the version folder like any other.
TEST_F(LauncherLoadPathTest, ApiSetLikeNamesInTheVersionFolderAreChecked) {
  struct Case {
    const wchar_t* module;
    const wchar_t* name;     // imported by the module, and planted
    const wchar_t* library;  // what is planted under that name
    bool runs;
  };
  const Case cases[] = {
      {L"app-imports-api-set.dll", L"api-ms-win-crt-varo-l1-1-0.dll", L"marker.dll", false},
      {L"app-imports-api-set.dll", L"api-ms-win-crt-varo-l1-1-0.dll", L"marker-allowed.dll", true},
      {L"app-imports-ext-set.dll", L"ext-ms-win-varo-l1-1-0.dll", L"marker.dll", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::wstring(c.library) + L" as " + c.name));
    LaunchExpectingProductLibrary(LayOut(c.module, {{c.library, c.name}}), c.name, c.runs);
  }
}

// Catches a load whose search covers the version folder for the whole graph,
// as LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR does: the system library's own import
// of varosystwo.dll was then taken from beside the module, where only the
// module's own closure is checked. A name of that closure found there is a
// product file, whatever the system folder holds.
TEST_F(LauncherLoadPathTest, SystemLibrariesTakeTheirImportsFromTheSystemFolder) {
  PlantSystemLibraries();
  struct Case {
    const char* what;
    Planted planted;
    bool runs;
  };
  const Case cases[] = {
      {"varosystwo.dll planted", {{L"marker.dll", kSystemTwo}}, true},
      {"varosysone.dll and varosystwo.dll planted", {{L"marker.dll", kSystemTwo}, {L"marker.dll", kSystemOne}}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::wstring folder = LayOut(L"app-imports-varosysone.dll", c.planted);
    if (c.runs) {
      EXPECT_EQ(Launch(launcher_), 3u);
      ExpectSystemCopyOnly(L"helper=7\n");
    } else {
      LaunchExpectingProductLibrary(folder, kSystemOne, false);
      EXPECT_EQ(MarkerFolders(kSystemTwo), Folders{});
    }
  }
}

// Catches a walk that stops at a product library's exports: helper.dll
// forwards its only export to varofwdt (named without an extension, as
// forwarders name their targets), which the loader then took from the
// version folder unchecked.
TEST_F(LauncherLoadPathTest, TargetsOfForwardedExportsAreChecked) {
  struct Case {
    const wchar_t* library;  // planted as varofwdt.dll
    bool runs;
  };
  const Case cases[] = {{L"marker.dll", false}, {L"marker-allowed.dll", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::wstring(c.library) + L" as varofwdt.dll"));
    const Planted planted = {{L"helper-forwarding.dll", L"helper.dll"}, {c.library, L"varofwdt.dll"}};
    LaunchExpectingProductLibrary(LayOut(L"app-imports-helper.dll", planted), L"varofwdt.dll", c.runs);
  }
}

// Catches a walk that looks an import up by its name as written: the module
// imports from "helper", to which the loader adds ".dll".
TEST_F(LauncherLoadPathTest, ImportNamedWithoutAnExtensionIsChecked) {
  struct Case {
    const wchar_t* library;  // planted as helper.dll
    bool runs;
  };
  const Case cases[] = {{L"marker.dll", false}, {L"marker-allowed.dll", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::wstring(c.library) + L" as helper.dll"));
    LaunchExpectingProductLibrary(LayOut(L"app-imports-bare-helper.dll", {{c.library, L"helper.dll"}}),
                                  L"helper.dll", c.runs);
  }
}

// Catches a process that still searches the version folder once the walk
// is over: varosystwo.dll, delayed and found only in the system folder when
// the walk ran, was planted beside the module while it waited, before its
// first call reached the library.
TEST_F(LauncherLoadPathTest, DelayedSystemLibraryPlantedAfterTheWalkIsNotLoaded) {
  PlantSystemLibraries();
  const std::wstring folder = LayOut(L"app-delays-varosystwo.dll", {});
  const std::wstring gate = temp_.Path(L"gate");
  SetEnvironment(L"VARO_TEST_APP_GATE", gate);

  auto process = StartProcess(launcher_, L"");
  ASSERT_TRUE(process);
  ASSERT_TRUE(WaitForFile(gate + L".ready", kLaunchTimeout)) << "the application module did not start";
  Copy(Artifact(L"marker.dll"), folder + kSystemTwo);
  temp_.WriteFile(L"gate", std::vector<uint8_t>());
  EXPECT_EQ(WaitForExit(process, kLaunchTimeout), 3u);
  ExpectSystemCopyOnly(L"helper=7\n");
}

// Catches a module's own load by name finding what was planted beside it:
// once the module runs the launcher's checks are over, and only the
// process's search, the system folder alone, keeps a name from the version
// folder.
TEST_F(LauncherLoadPathTest, ModuleLoadsByNameFromTheSystemFolderOnly) {
  PlantSystemLibraries();
  struct Case {
    const wchar_t* load;     // the name the module loads
    const wchar_t* planted;  // the unsigned marker's name in the version folder
    bool inSystemFolder;
  };
  const Case cases[] = {
      {L"varosystwo.dll", kSystemTwo, true},
      {L"VaroSysTwo", kSystemTwo, true},
      {L"varoonly.dll", L"varoonly.dll", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::wstring(L"LoadLibraryW(\"") + c.load + L"\")"));
    LayOut(L"app-allowed.dll", {{L"marker.dll", c.planted}});
    SetEnvironment(L"VARO_TEST_APP_LOAD", c.load);
    EXPECT_EQ(Launch(launcher_), 3u);
    const std::wstring answer = c.inSystemFolder ? L"load=yes\n" : L"load=no\n";
    EXPECT_NE(Recorded().value_or(L"").find(answer), std::wstring::npos) << Recorded().value_or(L"");
    EXPECT_EQ(MarkerFolders(c.planted), c.inSystemFolder ? Folders{Folded(SystemFolder())} : Folders{});
  }
}

// Catches a walk that takes the image's delay table for the whole list of
// delayed imports: GNU ld keeps its own elsewhere (dlltool -y), so the walk
// never sees helper.dll, and the module's first call loads it by name. What
// that load must not find is a copy planted beside the module or the
// launcher; what the module does when it finds nothing is its own affair.
TEST_F(LauncherLoadPathTest, DelayedImportsOutsideTheDelayTableFindNothingPlanted) {
  struct Case {
    const char* where;
    bool besideLauncher;  // else in the version folder
  };
  const Case cases[] = {{"in the version folder", false}, {"beside the launcher", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.where);
    const std::wstring folder = LayOut(L"app-delays-helper-gnu.dll", {});
    const std::wstring planted = (c.besideLauncher ? launcherFolder_ : folder) + L"helper.dll";
    Copy(Artifact(L"marker.dll"), planted);
    const DWORD exitCode = Launch(launcher_);
    EXPECT_EQ(MarkerFolders(L"helper.dll"), Folders{}) << "exit code " << exitCode;
    Remove(planted);
  }
}

// Catches a launcher that takes its activation context from a manifest file
// beside it, which a manifest of its own, embedded, keeps it from reading: a
// <file> entry, or one in a private assembly that it names as a dependency,
// sent the system library's import of varosystwo.dll to the copy beside the
// launcher.
TEST_F(LauncherLoadPathTest, ManifestBesideTheLauncherIsIgnored) {
  PlantSystemLibraries();
  Copy(Artifact(L"marker.dll"), launcherFolder_ + kSystemTwo);
  const std::string file = "  <file name=\"varosystwo.dll\"/>\n";
  temp_.WriteFile(L"bin\\varo.sidecar.manifest", Manifest("varo.sidecar", file));
  struct Case {
    const char* what;
    std::string manifest;  // VaroPicViewer.exe.manifest
  };
  const Case cases[] = {
      {"a <file> entry", Manifest("Varo.PicViewer", file)},
      {"a private assembly's <file> entry",
       Manifest("Varo.PicViewer",
                "  <dependency><dependentAssembly>\n    " + Identity("varo.sidecar") +
                    "  </dependentAssembly></dependency>\n")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    LayOut(L"app-imports-varosysone.dll", {});
    temp_.WriteFile(L"bin\\VaroPicViewer.exe.manifest", c.manifest);
    EXPECT_EQ(Launch(launcher_), 3u);
    ExpectSystemCopyOnly(L"helper=7\n");
  }
}

}  // namespace
