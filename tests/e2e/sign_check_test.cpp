#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <regex>

#include "locations/file_system.h"
#include "locations/product_layout.h"
#include "tests/support/child_process.h"
#include "tests/support/json_value.h"
#include "tests/support/registry_changes.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_pki.h"

// VaroSignCheck.exe run as a person runs it, its output redirected to files,
// on the test PKI's signed files and the cache file of a product laid out
// under a roaming application-data folder of the test's own.

namespace {

constexpr DWORD kRunTimeout = 60000;
constexpr wchar_t kForeignSigner[] = L"Foreign Test Publisher Ltd";

std::wstring Environment(const wchar_t* name) {
  wchar_t value[1024] = {};
  const DWORD length = ::GetEnvironmentVariableW(name, value, 1024);
  return length < 1024 ? value : L"";
}

std::wstring FromUtf8(const std::vector<uint8_t>& bytes) {
  if (bytes.empty()) return {};
  const auto* data = reinterpret_cast<const char*>(bytes.data());
  const int size = static_cast<int>(bytes.size());
  const int units = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, data, size, nullptr, 0);
  std::wstring text(static_cast<size_t>(units), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, data, size, text.data(), units);
  return text;
}

// The path as the tool names it: full, with backslashes.
std::wstring FullPath(const std::wstring& path) {
  wchar_t full[MAX_PATH * 2] = {};
  const DWORD length = ::GetFullPathNameW(path.c_str(), MAX_PATH * 2, full, nullptr);
  return length > 0 && length < MAX_PATH * 2 ? full : path;
}

struct ToolRun {
  DWORD exitCode = STILL_ACTIVE;
  std::wstring out;
  std::wstring err;
};

class SignCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    artifacts_ = Environment(L"VARO_E2E");
    tool_ = Environment(L"VARO_LAUNCHERS") + L"\\VaroSignCheck.exe";
    ASSERT_FALSE(artifacts_.empty()) << "VARO_E2E is not set";
    ASSERT_TRUE(FileSystem::IsFile(tool_)) << ::testing::PrintToString(tool_);
    ASSERT_TRUE(FileSystem::CreateDirectoryTree(temp_.Path(L"AppData\\VaroPic")));
    ASSERT_TRUE(registry_.RedirectAppData(temp_.Path(L"AppData")));
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
      ASSERT_TRUE(registry_.Remove(HKEY_LOCAL_MACHINE, view, L"SOFTWARE\\VaroPic", L"Path"));
    }
  }

  std::wstring Artifact(const std::wstring& name) const { return artifacts_ + L"\\" + name; }
  std::wstring SignedLauncher() const { return Artifact(L"signed\\VaroPicViewer.exe"); }
  std::wstring CacheFile() const { return temp_.Path(L"AppData\\VaroPic\\") + product_layout::kCacheFileName; }

  // A copy of `from` in the temp folder, so that the test may change it.
  std::wstring CopyOf(const std::wstring& from, const std::wstring& name) const {
    const std::wstring to = temp_.Path(name);
    FileSystem::CreateDirectoryTree(to.substr(0, to.find_last_of(L'\\')));
    EXPECT_TRUE(::CopyFileW(from.c_str(), to.c_str(), FALSE)) << ::testing::PrintToString(to);
    return to;
  }

  ToolRun Run(const std::wstring& arguments) {
    // Fresh names each run: Wine may close an ended child's handles a moment
    // after the process has signalled its end.
    const std::wstring runNumber = std::to_wstring(++runs_);
    const std::wstring outPath = temp_.Path(L"out" + runNumber + L".txt");
    const std::wstring errPath = temp_.Path(L"err" + runNumber + L".txt");
    ToolRun run;
    const auto process = StartProcess(tool_, arguments, outPath, errPath);
    if (!process) {
      ADD_FAILURE() << "cannot start the tool";
      return run;
    }
    run.exitCode = WaitForExit(process, kRunTimeout);
    run.out = FromUtf8(ReadWholeFile(outPath));
    run.err = FromUtf8(ReadWholeFile(errPath));
    return run;
  }

  // Runs the tool, expects `exitCode` and one JSON document on stdout.
  JsonValue RunJson(const std::wstring& arguments, DWORD exitCode) {
    const ToolRun run = Run(arguments);
    EXPECT_EQ(run.exitCode, exitCode) << ::testing::PrintToString(arguments) << "\n" << ::testing::PrintToString(run.err);
    JsonValue document;
    size_t errorOffset = 0;
    EXPECT_TRUE(ParseJson(run.out, document, errorOffset))
        << "not JSON at " << errorOffset << ": " << ::testing::PrintToString(run.out);
    return document;
  }

  // The cache show record of `path`; nothing when there is none.
  std::optional<JsonValue> CachedRecord(const JsonValue& show, const std::wstring& path) const {
    for (const JsonValue& record : show[L"records"].items) {
      if (record[L"path"].text == path) return record;
    }
    return std::nullopt;
  }

  TempFolder temp_;
  RegistryChanges registry_;
  std::wstring artifacts_;
  std::wstring tool_;
  int runs_ = 0;
};

// Each rule of the policy decides once, and the JSON output names it.
TEST_F(SignCheckTest, EveryRuleOnce) {
  struct Case {
    const char* what;
    std::wstring launcher;
    std::wstring expect;
    std::wstring file;
    bool trusted;
    const wchar_t* rule;
    int allowedRow;
  };
  const Case cases[] = {
      {"allowed publisher", SignedLauncher(), L"", SignedTestFile(L"eastmere"), true, L"allowedPublisher", 6},
      {"allowed publisher, CJK name", SignedLauncher(), L"", SignedTestFile(L"harbor-studio"), true,
       L"allowedPublisher", 1},
      {"expected signer", SignedLauncher(), kForeignSigner, SignedTestFile(L"foreign"), true, L"expectedSigner", 0},
      {"another signer than expected", SignedLauncher(), kForeignSigner, SignedTestFile(L"eastmere"), false,
       L"refused", 0},
      {"own publisher", SignedTestFile(L"foreign"), L"", Artifact(L"companion-foreign.dll"), true, L"ownPublisher", 0},
      {"unsigned launcher", Artifact(L"unsigned\\VaroPicViewer.exe"), L"", SignedTestFile(L"foreign"), true,
       L"unsignedLauncher", 0},
      {"refused", SignedLauncher(), L"", SignedTestFile(L"foreign"), false, L"refused", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::wstring arguments = L"check --json --launcher " + Quoted(c.launcher);
    if (!c.expect.empty()) arguments += L" --expect " + Quoted(c.expect);
    const JsonValue result = RunJson(arguments + L" " + Quoted(c.file), c.trusted ? 0 : 1);
    ASSERT_EQ(result[L"files"].items.size(), 1u);
    const JsonValue& file = result[L"files"].items[0];
    EXPECT_EQ(file[L"path"].text, FullPath(c.file));
    EXPECT_EQ(file[L"decision"].text, c.trusted ? L"trusted" : L"refused");
    EXPECT_EQ(file[L"rule"].text, c.rule);
    if (c.allowedRow > 0) {
      EXPECT_EQ(file[L"allowedRow"].number, c.allowedRow);
    } else {
      EXPECT_EQ(file[L"allowedRow"].kind, JsonValue::Kind::Null);
    }
    EXPECT_EQ(result[L"allTrusted"].boolean, c.trusted);
    EXPECT_TRUE(result[L"ownPublisherRule"].boolean);
    EXPECT_EQ(result[L"reference"][L"path"].text, FullPath(c.launcher));
  }
}

// The text report names verdict, signer, decision, rule and cache origin; the
// second run's verdict comes from the cache file the first one left.
TEST_F(SignCheckTest, TextReportAndTheCacheItLeaves) {
  const std::wstring file = FullPath(SignedTestFile(L"harbor-mingyuan"));
  const ToolRun first = Run(L"check --launcher " + Quoted(SignedLauncher()) + L" " + Quoted(file));
  EXPECT_EQ(first.exitCode, 0u) << ::testing::PrintToString(first.err);
  const std::wstring expected = file + L"\r\n  verdict:   Valid\r\n  signer:    港湾鸣远网络科技股份有限公司\r\n"
                                       L"  decision:  trusted\r\n  rule:      allowed publisher (row 5)\r\n"
                                       L"  cached:    no\r\n";
  EXPECT_NE(first.out.find(expected), std::wstring::npos) << ::testing::PrintToString(first.out);
  EXPECT_NE(first.out.find(L"own-publisher rule: Harbor Varo Network Software Co.,Ltd, the publisher of launcher "),
            std::wstring::npos)
      << ::testing::PrintToString(first.out);
  EXPECT_NE(first.out.find(L"cache file: " + CacheFile()), std::wstring::npos) << ::testing::PrintToString(first.out);
  ASSERT_TRUE(FileSystem::IsFile(CacheFile()));

  const ToolRun second = Run(L"check --launcher " + Quoted(SignedLauncher()) + L" " + Quoted(file));
  EXPECT_NE(second.out.find(L"  cached:    yes\r\n"), std::wstring::npos) << ::testing::PrintToString(second.out);
}

// The installed launcher (from the registry's install path) is the reference
// when no --launcher is given.
TEST_F(SignCheckTest, InstalledLauncherIsTheReference) {
  const std::wstring installed = CopyOf(SignedTestFile(L"foreign"), L"Program\\VaroPicViewer.exe");
  ASSERT_TRUE(registry_.SetInstallPath(L"VaroPic", temp_.Path(L"Program"), KEY_WOW64_64KEY));
  const JsonValue result = RunJson(L"check --json " + Quoted(Artifact(L"companion-foreign.dll")), 0);
  EXPECT_EQ(result[L"reference"][L"path"].text, installed);
  EXPECT_EQ(result[L"reference"][L"source"].text, L"installed");
  EXPECT_EQ(result[L"reference"][L"signer"].text, kForeignSigner);
  EXPECT_EQ(result[L"files"].items.at(0)[L"rule"].text, L"ownPublisher");
}

// Without a launcher the own-publisher rule is off and the tool says so: its
// own missing signature must not make it accept every file.
TEST_F(SignCheckTest, WithoutALauncherNothingIsTrustedByTheToolsOwnSignature) {
  const ToolRun text = Run(L"check " + Quoted(SignedTestFile(L"unsigned")));
  EXPECT_EQ(text.exitCode, 1u) << ::testing::PrintToString(text.out);
  EXPECT_NE(text.out.find(L"own-publisher rule: off"), std::wstring::npos) << ::testing::PrintToString(text.out);

  const JsonValue result = RunJson(L"check --json " + Quoted(SignedTestFile(L"unsigned")) + L" " +
                                       Quoted(SignedTestFile(L"foreign")) + L" " + Quoted(SignedTestFile(L"varoview")),
                                   1);
  EXPECT_FALSE(result[L"ownPublisherRule"].boolean);
  EXPECT_EQ(result[L"reference"].kind, JsonValue::Kind::Null);
  const auto& files = result[L"files"].items;
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(files[0][L"verdict"].text, L"NotSigned");
  EXPECT_EQ(files[0][L"rule"].text, L"refused");
  EXPECT_EQ(files[1][L"rule"].text, L"refused");
  EXPECT_EQ(files[2][L"rule"].text, L"allowedPublisher");
}

// Usage errors and missing files end with 2 before anything is checked or
// cached; --help explains every command.
TEST_F(SignCheckTest, UsageErrorsAndMissingFiles) {
  const std::wstring file = Quoted(SignedTestFile(L"eastmere"));
  const std::vector<std::wstring> usageErrors = {L"",           L"check",          L"check --bogus " + file,
                                                 L"check --launcher", L"cache",   L"cache show a b",
                                                 L"cache forget", L"cache clear now", L"verify"};
  for (const std::wstring& arguments : usageErrors) {
    const ToolRun run = Run(arguments);
    EXPECT_EQ(run.exitCode, 2u) << ::testing::PrintToString(arguments);
    EXPECT_FALSE(run.err.empty()) << ::testing::PrintToString(arguments);
  }
  const ToolRun missing = Run(L"check " + file + L" " + Quoted(temp_.Path(L"absent.dll")));
  EXPECT_EQ(missing.exitCode, 2u);
  EXPECT_NE(missing.err.find(L"no such file: " + temp_.Path(L"absent.dll")), std::wstring::npos);
  EXPECT_EQ(Run(L"check --launcher " + Quoted(temp_.Path(L"absent.exe")) + L" " + file).exitCode, 2u);
  EXPECT_FALSE(FileSystem::Exists(CacheFile()));

  const ToolRun help = Run(L"--help");
  EXPECT_EQ(help.exitCode, 0u);
  for (const wchar_t* command : {L"check [--launcher PATH] [--expect SIGNER] [--json] FILE...",
                                 L"cache show [--json] [CACHEFILE]", L"cache check [CACHEFILE]", L"cache forget PATH",
                                 L"cache clear"}) {
    EXPECT_NE(help.out.find(command), std::wstring::npos) << ::testing::PrintToString(command);
  }
}

// Each record with its state now: fresh while size and times match, changed
// after a write, missing once the file is gone.
TEST_F(SignCheckTest, CacheShowReportsEachRecordAndItsState) {
  const std::wstring kept = CopyOf(SignedTestFile(L"coral-bay"), L"files\\kept.dll");
  const std::wstring changed = CopyOf(SignedTestFile(L"eastmere"), L"files\\changed.dll");
  const std::wstring removed = CopyOf(SignedTestFile(L"foreign"), L"files\\removed.dll");
  RunJson(L"check --json --launcher " + Quoted(SignedLauncher()) + L" " + Quoted(kept) + L" " + Quoted(changed) +
              L" " + Quoted(removed),
          1);

  const JsonValue before = RunJson(L"cache show --json", 0);
  EXPECT_EQ(before[L"cacheFile"].text, CacheFile());
  EXPECT_EQ(before[L"status"].text, L"readable");
  const auto record = CachedRecord(before, kept);
  ASSERT_TRUE(record);
  EXPECT_EQ((*record)[L"signer"].text, L"Coral Bay Network Systems Co., Ltd.");
  EXPECT_EQ((*record)[L"verdict"].text, L"Valid");
  WIN32_FILE_ATTRIBUTE_DATA data{};
  ASSERT_TRUE(::GetFileAttributesExW(kept.c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ((*record)[L"size"].number, data.nFileSizeLow);
  const std::wregex iso(LR"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)");
  EXPECT_TRUE(std::regex_match((*record)[L"lastWriteTime"].text, iso)) << ::testing::PrintToString((*record)[L"lastWriteTime"].text);
  EXPECT_TRUE(std::regex_match((*record)[L"creationTime"].text, iso));
  EXPECT_EQ((*record)[L"state"].text, L"fresh");
  EXPECT_EQ(CachedRecord(before, removed).value_or(JsonValue{})[L"verdict"].text, L"Valid");

  {
    platform::UniqueFileHandle file(::CreateFileW(changed.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING,
                                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    ASSERT_TRUE(file && ::WriteFile(file.Get(), "x", 1, &written, nullptr));
  }
  ASSERT_TRUE(::DeleteFileW(removed.c_str()));
  const JsonValue after = RunJson(L"cache show --json", 0);
  EXPECT_EQ(CachedRecord(after, kept).value_or(JsonValue{})[L"state"].text, L"fresh");
  EXPECT_EQ(CachedRecord(after, changed).value_or(JsonValue{})[L"state"].text, L"changed");
  EXPECT_EQ(CachedRecord(after, removed).value_or(JsonValue{})[L"state"].text, L"missing");

  const ToolRun table = Run(L"cache show");
  EXPECT_EQ(table.exitCode, 0u);
  EXPECT_NE(table.out.find(L"STATE    VERDICT"), std::wstring::npos) << ::testing::PrintToString(table.out);
  EXPECT_NE(table.out.find(L"missing  Valid"), std::wstring::npos) << ::testing::PrintToString(table.out);
}

// A missing cache file is told apart from a corrupt or unusable one; neither
// command deletes what it reports on.
TEST_F(SignCheckTest, CorruptAndMissingCacheFiles) {
  EXPECT_EQ(Run(L"cache check").exitCode, 3u);
  EXPECT_EQ(RunJson(L"cache show --json", 3)[L"status"].text, L"absent");

  const std::wstring garbage = temp_.WriteFile(L"AppData\\VaroPic\\SignCache.dat", std::string(4096, '\x5a'));
  const ToolRun check = Run(L"cache check");
  EXPECT_EQ(check.exitCode, 1u);
  EXPECT_NE(check.out.find(L"corrupt: not a valid cache file"), std::wstring::npos) << ::testing::PrintToString(check.out);
  const JsonValue show = RunJson(L"cache show --json", 1);
  EXPECT_EQ(show[L"status"].text, L"corrupt");
  EXPECT_TRUE(show[L"records"].items.empty());
  EXPECT_TRUE(FileSystem::IsFile(garbage));

  const std::wstring empty = temp_.WriteFile(L"elsewhere\\empty.dat", std::string());
  const ToolRun emptyCheck = Run(L"cache check " + Quoted(empty));
  EXPECT_EQ(emptyCheck.exitCode, 1u);
  EXPECT_NE(emptyCheck.out.find(L"the file is empty"), std::wstring::npos) << ::testing::PrintToString(emptyCheck.out);
  EXPECT_EQ(Run(L"cache check " + Quoted(temp_.Path(L"elsewhere\\none.dat"))).exitCode, 3u);

  // A good file elsewhere, named on the command line.
  EXPECT_EQ(Run(L"cache clear").exitCode, 0u);
  RunJson(L"check --json --launcher " + Quoted(SignedLauncher()) + L" " + Quoted(SignedTestFile(L"varoview")), 0);
  const std::wstring copy = CopyOf(CacheFile(), L"elsewhere\\copy.dat");
  EXPECT_EQ(Run(L"cache check " + Quoted(copy)).exitCode, 0u);
  EXPECT_EQ(RunJson(L"cache show --json " + Quoted(copy), 0)[L"cacheFile"].text, copy);
}

// A launcher of the product whose application module waits, while the test
// changes the cache under it, until the test lets it end.
class SignCheckLauncherTest : public SignCheckTest {
 protected:
  void SetUp() override {
    SignCheckTest::SetUp();
    const std::wstring version = temp_.Path(L"AppData\\VaroPic\\Application\\1.0\\");
    module_ = CopyOf(Artifact(L"app-allowed.dll"), L"AppData\\VaroPic\\Application\\1.0\\VaroImageApp.dll");
    companion_ = CopyOf(Artifact(L"companion-allowed.dll"), L"AppData\\VaroPic\\Application\\1.0\\FreeImage.dll");
    ASSERT_TRUE(::WritePrivateProfileStringW(L"Upgrade", L"Version", L"1.0",
                                             temp_.Path(L"AppData\\VaroPic\\config.ini").c_str()));
    launcher_ = CopyOf(SignedLauncher(), L"bin\\VaroPicViewer.exe");
    ::SetEnvironmentVariableW(L"VARO_TEST_APP_GATE", gate_.c_str());
  }

  void TearDown() override {
    ::SetEnvironmentVariableW(L"VARO_TEST_APP_GATE", nullptr);
    SignCheckTest::TearDown();
  }

  // Starts the launcher and returns once its application module runs: by
  // then the launcher has read the cache and verified its modules.
  platform::UniqueKernelHandle StartWaitingLauncher() {
    ::DeleteFileW(gate_.c_str());
    ::DeleteFileW((gate_ + L".ready").c_str());
    auto process = StartProcess(launcher_, L"");
    EXPECT_TRUE(process);
    EXPECT_TRUE(WaitForFile(gate_ + L".ready", kRunTimeout)) << "the application module did not run";
    return process;
  }

  DWORD Release(const platform::UniqueKernelHandle& process) {
    temp_.WriteFile(L"gate", std::string("open"));
    return WaitForExit(process, kRunTimeout);
  }

  std::vector<std::wstring> CachedPaths() {
    std::vector<std::wstring> paths;
    // Held in a variable: a range over a temporary's member would dangle.
    const JsonValue show = RunJson(L"cache show --json", FileSystem::Exists(CacheFile()) ? 0 : 3);
    for (const JsonValue& record : show[L"records"].items) paths.push_back(record[L"path"].text);
    return paths;
  }

  ::testing::AssertionResult IsCached(const std::wstring& path) {
    const auto paths = CachedPaths();
    if (std::find(paths.begin(), paths.end(), path) != paths.end()) {
      return ::testing::AssertionSuccess() << ::testing::PrintToString(path) << " is cached";
    }
    return ::testing::AssertionFailure() << ::testing::PrintToString(path) << " is not among "
                                         << ::testing::PrintToString(paths);
  }

  const std::wstring gate_ = temp_.Path(L"gate");
  std::wstring module_;
  std::wstring companion_;
  std::wstring launcher_;
};

// What forget removes stays removed when the launcher that had the cache in
// use writes back; a record the launcher made afresh after a clear is the
// only one it brings back.
TEST_F(SignCheckLauncherTest, ForgetAndClearWhileALauncherHasTheCacheInUse) {
  ::SetEnvironmentVariableW(L"VARO_TEST_APP_GATE", nullptr);
  ASSERT_EQ(WaitForExit(StartProcess(launcher_, L""), kRunTimeout), 3u);
  ASSERT_TRUE(IsCached(module_));
  ASSERT_TRUE(IsCached(companion_));
  ::SetEnvironmentVariableW(L"VARO_TEST_APP_GATE", gate_.c_str());

  // Every verdict of this run comes from the cache.
  auto running = StartWaitingLauncher();
  const ToolRun forget = Run(L"cache forget " + Quoted(module_));
  EXPECT_EQ(forget.exitCode, 0u) << ::testing::PrintToString(forget.err);
  EXPECT_NE(forget.out.find(L"forgot 1 record for " + module_), std::wstring::npos) << ::testing::PrintToString(forget.out);
  EXPECT_FALSE(IsCached(module_));
  EXPECT_TRUE(IsCached(companion_));
  EXPECT_EQ(Release(running), 3u);
  EXPECT_FALSE(IsCached(module_));
  EXPECT_TRUE(IsCached(companion_));

  // This run verifies the module afresh and holds that verdict unwritten.
  running = StartWaitingLauncher();
  const ToolRun clear = Run(L"cache clear");
  EXPECT_EQ(clear.exitCode, 0u) << ::testing::PrintToString(clear.err);
  EXPECT_FALSE(FileSystem::Exists(CacheFile()));
  EXPECT_EQ(Release(running), 3u);
  const ToolRun check = Run(L"cache check");
  EXPECT_NE(check.exitCode, 1u) << "a corrupt cache file after the launcher's write-back";
  EXPECT_FALSE(IsCached(companion_));
}

// Changes need the cache lock: while another process holds it longer than
// the launchers wait, forget and clear change nothing.
TEST_F(SignCheckLauncherTest, ChangesAreRefusedWhileAnotherProcessHoldsTheLock) {
  RunJson(L"check --json --launcher " + Quoted(SignedLauncher()) + L" " + Quoted(module_), 0);
  ASSERT_TRUE(IsCached(module_));
  const std::wstring ready = temp_.Path(L"peer-ready");
  auto peer = StartProcess(SiblingProgram(L"cache_peer.exe"),
                           L"hold-mutex " + Quoted(CacheFile()) + L" " + Quoted(ready) + L" 8000");
  ASSERT_TRUE(WaitForFile(ready, kRunTimeout));
  for (const std::wstring& arguments : {std::wstring(L"cache clear"), L"cache forget " + Quoted(module_)}) {
    const ToolRun run = Run(arguments);
    EXPECT_EQ(run.exitCode, 1u) << ::testing::PrintToString(arguments);
    EXPECT_NE(run.err.find(L"another process holds the cache lock"), std::wstring::npos);
  }
  WaitForExit(peer, kRunTimeout);
  EXPECT_TRUE(IsCached(module_));
  EXPECT_EQ(Run(L"cache forget " + Quoted(module_)).exitCode, 0u);
  EXPECT_FALSE(IsCached(module_));
}

// A link, made from the Linux side, where a launcher or the tool deletes or
// writes: what it leads to is neither deleted nor written, the tool says it
// changed nothing, and the product starts. The cache file's target holds the
// module's record only, so a launcher would write the companion's into it
// and forget would delete it.
TEST_F(SignCheckLauncherTest, LinksAreNotFollowedWhereFilesAreDeletedOrWritten) {
  ::SetEnvironmentVariableW(L"VARO_TEST_APP_GATE", nullptr);
  RunJson(L"check --json --launcher " + Quoted(SignedLauncher()) + L" " + Quoted(module_), 0);
  const std::wstring cacheTarget = CopyOf(CacheFile(), L"targets\\cache.dat");
  ASSERT_TRUE(::DeleteFileW(CacheFile().c_str()));
  CopyOf(Artifact(L"app-allowed.dll"), L"AppData\\VaroPic\\Application\\2.0\\VaroImageApp.dll");
  const std::wstring installed = temp_.WriteFile(L"targets\\installed.ini", "[Upgrade]\r\nVersion=1.0\r\n");
  const std::wstring pending = temp_.WriteFile(L"targets\\pending.ini", "[Upgrade]\r\nVersion=2.0\r\n");
  const std::wstring product = temp_.Path(L"AppData\\VaroPic\\");
  const struct {
    const char* what;
    std::wstring link;
    std::wstring target;
    std::wstring toolArguments;  // none: a launch
    DWORD exitCode;
  } cases[] = {
      {"a launcher's read and write-back", CacheFile(), cacheTarget, L"", 3},
      {"cache forget", CacheFile(), cacheTarget, L"cache forget " + Quoted(module_), 1},
      {"cache clear", CacheFile(), cacheTarget, L"cache clear", 1},
      {"the hand-over's temp.ini", product + L"temp.ini", pending, L"", 3},
      {"the hand-over's config.ini", product + L"config.ini", installed, L"", 3},
  };
  for (const auto& c : cases) {
    // The other hand-over file plain, version 2.0 pending for a launch.
    ::DeleteFileW(c.link.c_str());
    for (const auto& [name, version] : {std::pair{L"config.ini", "1.0"}, std::pair{L"temp.ini", "2.0"}}) {
      if (c.link == product + name) continue;
      temp_.WriteFile(L"AppData\\VaroPic\\" + std::wstring(name), std::string("[Upgrade]\r\nVersion=") + version);
    }
    const std::vector<uint8_t> before = ReadWholeFile(c.target);
    ToolRun run;
    {
      const LinuxSymlink link(c.link, c.target);
      ASSERT_TRUE(link.Made()) << c.what;
      if (c.toolArguments.empty()) {
        run.exitCode = WaitForExit(StartProcess(launcher_, L""), kRunTimeout);
      } else {
        run = Run(c.toolArguments);
        EXPECT_NE(run.err.find(L"is a link"), std::wstring::npos) << c.what;
      }
    }
    EXPECT_EQ(run.exitCode, c.exitCode) << c.what << "\n" << ::testing::PrintToString(run.err);
    EXPECT_EQ(ReadWholeFile(c.target), before) << c.what;
  }
}

}  // namespace
