#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <optional>
#include <regex>

#include "platform/file_system.h"
#include "tests/e2e/sign_check_fixture.h"
#include "tests/support/child_process.h"
#include "tests/support/test_pki.h"

// Left out by WIN32_LEAN_AND_MEAN.
#include <wincrypt.h>

// VaroSignCheck.exe on the test PKI's signed files and the cache file of a
// product laid out under a roaming application-data folder of the test's own.

namespace {

constexpr wchar_t kForeignSigner[] = L"Foreign Test Publisher Ltd";

std::wstring EnvironmentValue(const wchar_t* name) {
  wchar_t value[1024] = {};
  const DWORD length = ::GetEnvironmentVariableW(name, value, 1024);
  return length < 1024 ? value : L"";
}

// A digest by crypt32, another implementation than the tool's, as upper-case
// hexadecimal.
std::wstring Digest(ALG_ID algorithm, const std::vector<uint8_t>& bytes) {
  BYTE digest[32] = {};
  DWORD size = sizeof(digest);
  if (!::CryptHashCertificate(0, algorithm, 0, bytes.data(), static_cast<DWORD>(bytes.size()), digest, &size)) {
    return L"(no digest)";
  }
  std::wstring text;
  for (DWORD i = 0; i < size; ++i) {
    wchar_t pair[3] = {};
    std::swprintf(pair, 3, L"%02X", digest[i]);
    text += pair;
  }
  return text;
}

// The encoded certificate of a test PKI leaf (its cert.pem).
std::vector<uint8_t> LeafCertificate(const std::wstring& leaf) {
  const std::vector<uint8_t> pem =
      ReadWholeFile(EnvironmentValue(L"VARO_TEST_PKI") + L"\\leaves\\" + leaf + L"\\cert.pem");
  DWORD size = 0;
  const auto* text = reinterpret_cast<const char*>(pem.data());
  if (!::CryptStringToBinaryA(text, static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, nullptr, &size,
                              nullptr, nullptr)) {
    return {};
  }
  std::vector<uint8_t> der(size);
  ::CryptStringToBinaryA(text, static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr,
                         nullptr);
  return der;
}

// A version resource that states a fixed file version and nothing else.
#pragma pack(push, 1)
struct VersionResource {
  WORD length = sizeof(VersionResource);
  WORD valueLength = sizeof(VS_FIXEDFILEINFO);
  WORD type = 0;
  wchar_t key[16] = L"VS_VERSION_INFO";
  WORD padding = 0;  // to the next 32-bit boundary
  VS_FIXEDFILEINFO fixed{};
};
#pragma pack(pop)

// Flips one byte of the first section, which the signature's digest covers.
void ChangeAfterSigning(const std::wstring& path) {
  platform::UniqueFileHandle file(
      ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(file) << ::testing::PrintToString(path);
  LARGE_INTEGER offset{};
  offset.QuadPart = 0x410;
  BYTE byte = 0;
  DWORD done = 0;
  ASSERT_TRUE(::SetFilePointerEx(file.Get(), offset, nullptr, FILE_BEGIN) &&
              ::ReadFile(file.Get(), &byte, 1, &done, nullptr) && done == 1);
  byte ^= 0xFF;
  ASSERT_TRUE(::SetFilePointerEx(file.Get(), offset, nullptr, FILE_BEGIN) &&
              ::WriteFile(file.Get(), &byte, 1, &done, nullptr) && done == 1);
}

// ChangeAfterSigning, with the file's size and times as they were: what the
// cache keys its verdicts on.
void ChangeKeepingStamp(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA before{};
  ASSERT_TRUE(::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &before));
  ChangeAfterSigning(path);
  platform::UniqueFileHandle file(
      ::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(::SetFileTime(file.Get(), &before.ftCreationTime, nullptr, &before.ftLastWriteTime));
}

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

// Only usage errors end with 2, before anything is checked or cached;
// --help explains every command.
TEST_F(SignCheckTest, UsageErrors) {
  const std::wstring file = Quoted(SignedTestFile(L"eastmere"));
  const std::vector<std::wstring> usageErrors = {L"",           L"check",          L"check --bogus " + file,
                                                 L"check --launcher", L"cache",   L"cache show a b",
                                                 L"cache forget", L"cache clear now", L"verify",
                                                 L"diagnose --product viewer", L"diagnose --launcher",
                                                 L"diagnose " + file,
                                                 L"diagnose --product pic --launcher C:\\bin\\VaroPdfReader.exe"};
  for (const std::wstring& arguments : usageErrors) {
    const ToolRun run = Run(arguments);
    EXPECT_EQ(run.exitCode, 2u) << ::testing::PrintToString(arguments);
    EXPECT_FALSE(run.err.empty()) << ::testing::PrintToString(arguments);
  }
  EXPECT_FALSE(FileSystem::Exists(CacheFile()));

  const ToolRun help = Run(L"--help");
  EXPECT_EQ(help.exitCode, 0u);
  for (const wchar_t* command : {L"check [--launcher PATH] [--expect SIGNER] [--fresh|--cached] [-r]",
                                 L"cache show [--json] [CACHEFILE]", L"cache check [CACHEFILE]", L"cache forget PATH",
                                 L"cache clear"}) {
    EXPECT_NE(help.out.find(command), std::wstring::npos) << ::testing::PrintToString(command);
  }
  EXPECT_EQ(help.out.find(L"without a readable signer accepts every file"), std::wstring::npos)
      << "the old, wrong rule";
}

// Why each kind of signature came out as it did: the trust provider's result
// by name, where the signature is, the chain (the leaf's thumbprint as
// crypt32 computes it from the PKI's certificate), the timestamp, and the
// file's own size and SHA-256.
TEST_F(SignCheckTest, ReasonAndChainForEachKindOfSignature) {
  const std::wstring changed = CopyOf(SignedTestFile(L"eastmere"), L"changed\\eastmere.dll");
  ChangeAfterSigning(changed);
  constexpr wchar_t kStillValid[] = L"2049-12-31T23:59:59Z";
  struct Case {
    const char* what;
    std::wstring file;
    const wchar_t* verdict;
    const wchar_t* decision;
    const wchar_t* result;
    const wchar_t* signature;
    const wchar_t* leaf;  // nullptr: no chain
    const wchar_t* root;
    const wchar_t* leafValidTo;
    const wchar_t* signingTime;  // nullptr: none
  };
  const Case cases[] = {
      {"valid", SignedTestFile(L"eastmere"), L"Valid", L"trusted", L"ERROR_SUCCESS", L"embedded", L"eastmere",
       L"trusted", kStillValid, nullptr},
      {"changed after signing", changed, L"Failed", L"refused", L"TRUST_E_BAD_DIGEST", L"embedded", L"eastmere",
       L"trusted", kStillValid, nullptr},
      {"untrusted root", SignedTestFile(L"forgery"), L"Failed", L"refused", L"CERT_E_UNTRUSTEDROOT", L"embedded",
       L"forgery", L"untrusted", kStillValid, nullptr},
      {"expired", SignedTestFile(L"expired"), L"Expired", L"trusted", L"CERT_E_EXPIRED", L"embedded", L"expired",
       L"trusted", L"2020-12-31T23:59:59Z", nullptr},
      {"unsigned", SignedTestFile(L"unsigned"), L"NotSigned", L"refused", L"TRUST_E_NOSIGNATURE", L"none", nullptr,
       nullptr, nullptr, nullptr},
      {"timestamped", EnvironmentValue(L"VARO_SIGN_CHECK") + L"\\stamped.dll", L"Valid", L"trusted",
       L"ERROR_SUCCESS", L"embedded", L"eastmere", L"trusted", kStillValid, L"2023-11-14T22:13:20Z"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const JsonValue result = RunJson(L"check --json --launcher " + Quoted(SignedLauncher()) + L" " + Quoted(c.file),
                                     std::wstring(c.decision) == L"trusted" ? 0 : 1);
    ASSERT_EQ(result[L"files"].items.size(), 1u);
    const JsonValue& file = result[L"files"].items[0];
    EXPECT_EQ(file[L"verdict"].text, c.verdict);
    EXPECT_EQ(file[L"decision"].text, c.decision);
    EXPECT_EQ(file[L"trustResult"][L"name"].text, c.result);
    EXPECT_FALSE(file[L"trustResult"][L"text"].text.empty());
    EXPECT_EQ(file[L"signature"].text, c.signature);
    if (c.signingTime != nullptr) {
      EXPECT_EQ(file[L"signingTime"].text, c.signingTime);
      EXPECT_EQ(file[L"timestampSigner"].text, L"O=Varo Test PKI, CN=Varo Test Timestamps");
    } else {
      EXPECT_EQ(file[L"signingTime"].kind, JsonValue::Kind::Null);
      EXPECT_EQ(file[L"timestampSigner"].kind, JsonValue::Kind::Null);
    }
    const std::vector<uint8_t> content = ReadWholeFile(c.file);
    EXPECT_EQ(file[L"size"].number, static_cast<double>(content.size()));
    EXPECT_EQ(file[L"sha256"].text, Digest(CALG_SHA_256, content));

    const auto& chain = file[L"chain"].items;
    if (c.leaf == nullptr) {
      EXPECT_TRUE(chain.empty());
      EXPECT_EQ(file[L"chainOrigin"].text, L"none");
      continue;
    }
    ASSERT_EQ(chain.size(), 2u) << "the leaf and the root that the signature carries";
    // Wine's provider names no signer for a changed file: the chain is read
    // from the signature itself then.
    EXPECT_NE(file[L"chainOrigin"].text, L"none");
    EXPECT_EQ(chain[0][L"sha1"].text, Digest(CALG_SHA1, LeafCertificate(c.leaf)));
    EXPECT_EQ(chain[0][L"sha256"].text, Digest(CALG_SHA_256, LeafCertificate(c.leaf)));
    EXPECT_EQ(chain[0][L"validTo"].text, c.leafValidTo);
    EXPECT_EQ(chain[0][L"issuer"].text, chain[1][L"subject"].text);
    EXPECT_EQ(chain[1][L"subject"].text, std::wstring(L"O=Varo Test PKI, CN=Varo Test Root (") + c.root + L")");
    EXPECT_TRUE(std::regex_match(chain[0][L"serial"].text, std::wregex(L"[0-9A-F]+")));
  }
}

// Catches a second signature that the report hides: --all lists the nested
// one with its own digest and signer, after the first one and its timestamp.
TEST_F(SignCheckTest, AllListsNestedSignatures) {
  const std::wstring arguments =
      L"--json --launcher " + Quoted(SignedLauncher()) + L" " + Quoted(EnvironmentValue(L"VARO_SIGN_CHECK") + L"\\nested.dll");
  const JsonValue all = RunJson(L"check --all " + arguments, 0)[L"files"].items.at(0);
  const auto& signatures = all[L"signatures"].items;
  ASSERT_EQ(signatures.size(), 2u);
  EXPECT_EQ(signatures[0][L"digest"].text, L"SHA-256");
  EXPECT_NE(signatures[0][L"signer"].text.find(L"Eastmere"), std::wstring::npos);
  EXPECT_EQ(signatures[0][L"signingTime"].text, L"2023-11-14T22:13:20Z");
  EXPECT_FALSE(signatures[0][L"nested"].boolean);
  EXPECT_EQ(signatures[1][L"digest"].text, L"SHA-1");
  EXPECT_NE(signatures[1][L"signer"].text.find(L"Coral Bay"), std::wstring::npos);
  EXPECT_EQ(signatures[1][L"signingTime"].kind, JsonValue::Kind::Null);
  EXPECT_TRUE(signatures[1][L"nested"].boolean);
  EXPECT_EQ(RunJson(L"check " + arguments, 0)[L"files"].items.at(0)[L"signatures"].kind, JsonValue::Kind::Null);
}

// Catches a forged publisher trusted because the trust provider skipped its
// final policy (Wine does for SHA-256 leaves): a self-signed certificate, and
// one under a root no store knows, with and without that root in the
// signature, all naming the launcher's own publisher.
TEST_F(SignCheckTest, ForgeriesAreRefusedWhateverTheirDigest) {
  const wchar_t* forgeries[] = {L"forgery", L"forgery-sha256", L"forgery-alone", L"self-signed"};
  std::wstring files;
  for (const wchar_t* leaf : forgeries) files += L" " + Quoted(SignedTestFile(leaf));
  const JsonValue result = RunJson(L"check --fresh --json --launcher " + Quoted(SignedLauncher()) + files, 1);
  ASSERT_EQ(result[L"files"].items.size(), std::size(forgeries));
  for (const JsonValue& file : result[L"files"].items) {
    EXPECT_EQ(file[L"verdict"].text, L"Failed") << ::testing::PrintToString(file[L"path"].text);
    EXPECT_EQ(file[L"decision"].text, L"refused") << ::testing::PrintToString(file[L"path"].text);
  }
}

// Catches a file that is no PE image reported as carrying an embedded
// signature: a text file and an empty .dll have none to carry.
TEST_F(SignCheckTest, FilesThatAreNoImagesCarryNoSignature) {
  const std::wstring text = temp_.WriteFile(L"notes\\readme.dll", "not an image\r\n");
  const std::wstring empty = temp_.WriteFile(L"notes\\empty.dll", "");
  const JsonValue result =
      RunJson(L"check --fresh --json --launcher " + Quoted(SignedLauncher()) + L" " + Quoted(text) + L" " +
                  Quoted(empty),
              1);
  ASSERT_EQ(result[L"files"].items.size(), 2u);
  for (const JsonValue& file : result[L"files"].items) {
    EXPECT_EQ(file[L"signature"].text, L"notAnImage") << ::testing::PrintToString(file[L"path"].text);
    EXPECT_EQ(file[L"decision"].text, L"refused") << ::testing::PrintToString(file[L"path"].text);
  }
}

// What the report says the own-publisher rule accepts is what the policy
// does: only an unsigned launcher accepts every file; one whose signature
// fails (changed, or under an untrusted root) accepts none.
TEST_F(SignCheckTest, OwnPublisherRuleStatedAsThePolicyJudges) {
  const std::wstring tampered = CopyOf(SignedLauncher(), L"tampered\\VaroPicViewer.exe");
  ChangeAfterSigning(tampered);
  struct Case {
    const char* what;
    std::wstring launcher;
    const wchar_t* accepts;
    std::wstring heading;
    bool foreignTrusted;
  };
  const Case cases[] = {
      {"signed", SignedLauncher(), L"itsPublisher",
       L"own-publisher rule: Harbor Varo Network Software Co.,Ltd, the publisher of launcher " +
           FullPath(SignedLauncher()) + L" (Valid)\r\n",
       false},
      {"unsigned", Artifact(L"unsigned\\VaroPicViewer.exe"), L"everyFile",
       L" is not signed (NotSigned): like that launcher, a development build, every file is accepted\r\n", true},
      {"changed after signing", tampered, L"nothing",
       L" fails its own check (Failed, no readable signer): like that launcher, this rule accepts no file\r\n",
       false},
      {"under an untrusted root", SignedTestFile(L"forgery"), L"nothing",
       L" fails its own check (Failed, signer Harbor Varo Network Software Co.,Ltd): like that launcher, this rule "
       L"accepts no file\r\n",
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::wstring arguments =
        L"--launcher " + Quoted(c.launcher) + L" " + Quoted(Artifact(L"companion-foreign.dll"));
    const ToolRun text = Run(L"check " + arguments);
    EXPECT_EQ(text.exitCode, c.foreignTrusted ? 0u : 1u);
    EXPECT_NE(text.out.find(c.heading), std::wstring::npos) << ::testing::PrintToString(text.out);
    const JsonValue json = RunJson(L"check --json " + arguments, c.foreignTrusted ? 0 : 1);
    EXPECT_EQ(json[L"reference"][L"accepts"].text, c.accepts);
    EXPECT_EQ(json[L"files"].items.at(0)[L"decision"].text, c.foreignTrusted ? L"trusted" : L"refused");
  }
}

// A folder stands for its modules, with -r those of its subfolders too; a
// missing file, an empty folder and a missing launcher are reported while the
// rest is checked, and exit with 1. The tally counts each kind.
TEST_F(SignCheckTest, FoldersAndMissingFiles) {
  CopyOf(SignedTestFile(L"foreign"), L"install\\b.EXE");
  CopyOf(SignedTestFile(L"eastmere"), L"install\\a.dll");
  CopyOf(SignedTestFile(L"eastmere"), L"install\\notes.txt");
  CopyOf(SignedTestFile(L"eastmere"), L"install\\sub.dll\\deep\\c.dll");
  ASSERT_TRUE(FileSystem::CreateDirectoryTree(temp_.Path(L"empty")));
  const std::wstring absent = temp_.Path(L"absent.dll");

  const JsonValue folder = RunJson(L"check --json --launcher " + Quoted(SignedLauncher()) + L" " +
                                       Quoted(temp_.Path(L"install")),
                                   1);
  const auto& files = folder[L"files"].items;
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0][L"path"].text, temp_.Path(L"install\\a.dll"));
  EXPECT_EQ(files[0][L"decision"].text, L"trusted");
  EXPECT_EQ(files[1][L"path"].text, temp_.Path(L"install\\b.EXE"));
  EXPECT_EQ(files[1][L"decision"].text, L"refused");
  const JsonValue tree = RunJson(L"check -r --json --launcher " + Quoted(SignedLauncher()) + L" " +
                                     Quoted(temp_.Path(L"install")),
                                 1);
  ASSERT_EQ(tree[L"files"].items.size(), 3u);
  EXPECT_EQ(tree[L"files"].items[2][L"path"].text, temp_.Path(L"install\\sub.dll\\deep\\c.dll"));
  EXPECT_EQ(tree[L"tally"][L"trusted"].number, 2);
  EXPECT_EQ(tree[L"tally"][L"refused"].number, 1);

  const ToolRun missing = Run(L"check --launcher " + Quoted(SignedLauncher()) + L" " + Quoted(absent) + L" " +
                              Quoted(temp_.Path(L"empty")) + L" " + Quoted(SignedTestFile(L"eastmere")));
  EXPECT_EQ(missing.exitCode, 1u);
  EXPECT_NE(missing.err.find(L"no such file: " + absent), std::wstring::npos)
      << ::testing::PrintToString(missing.err);
  EXPECT_NE(missing.out.find(absent + L"\r\n  missing:   no such file\r\n"), std::wstring::npos);
  EXPECT_NE(missing.out.find(L"  missing:   a folder without .dll or .exe files\r\n"), std::wstring::npos);
  EXPECT_NE(missing.out.find(L"  decision:  trusted\r\n"), std::wstring::npos) << "the file after them was checked";
  EXPECT_NE(missing.out.find(L"  tally:     1 checked, 1 trusted, 0 refused, 2 missing\r\n"), std::wstring::npos);

  const JsonValue noLauncher = RunJson(
      L"check --json --launcher " + Quoted(temp_.Path(L"absent.exe")) + L" " + Quoted(SignedTestFile(L"eastmere")), 1);
  EXPECT_TRUE(noLauncher[L"reference"][L"missing"].boolean);
  EXPECT_FALSE(noLauncher[L"ownPublisherRule"].boolean);
  EXPECT_EQ(noLauncher[L"files"].items.at(0)[L"decision"].text, L"trusted");
}

// Catches a cached verdict shown as current for a file changed in place with
// its size and times kept: the check finds the change, says the cache was
// stale, refuses the file, and the cache holds the fresh verdict from then on.
// --cached still shows the cache's answer alone.
TEST_F(SignCheckTest, StaleCachedVerdictIsCheckedAgain) {
  const std::wstring module = CopyOf(SignedTestFile(L"eastmere"), L"stale\\eastmere.dll");
  const std::wstring arguments = L"check --json --launcher " + Quoted(SignedLauncher()) + L" " + Quoted(module);
  EXPECT_EQ(RunJson(arguments, 0)[L"files"].items.at(0)[L"verdict"].text, L"Valid");

  ChangeKeepingStamp(module);
  const JsonValue cached =
      RunJson(L"check --json --cached --launcher " + Quoted(SignedLauncher()) + L" " + Quoted(module), 0);
  EXPECT_EQ(cached[L"files"].items.at(0)[L"verdict"].text, L"Valid");
  EXPECT_TRUE(cached[L"files"].items.at(0)[L"fromCache"].boolean);
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run == 0 ? "the run that finds the change" : "a later run");
    const JsonValue file = RunJson(arguments, 1)[L"files"].items.at(0);
    EXPECT_EQ(file[L"verdict"].text, L"Failed");
    EXPECT_EQ(file[L"decision"].text, L"refused");
    if (run == 0) {
      EXPECT_EQ(file[L"staleCachedVerdict"].text, L"Valid");
    } else {
      EXPECT_EQ(file[L"staleCachedVerdict"].kind, JsonValue::Kind::Null);
    }
  }
}

// --fresh checks every file afresh and leaves the cache file as it was, or
// absent.
TEST_F(SignCheckTest, FreshChecksNeitherReadNorWriteTheCache) {
  const std::wstring file = Quoted(SignedTestFile(L"eastmere"));
  const std::wstring launcher = L" --launcher " + Quoted(SignedLauncher()) + L" ";
  const JsonValue first = RunJson(L"check --json --fresh" + launcher + file + L" " + file, 0);
  EXPECT_TRUE(first[L"fresh"].boolean);
  EXPECT_EQ(first[L"cacheFile"].kind, JsonValue::Kind::Null);
  for (const JsonValue& checked : first[L"files"].items) EXPECT_FALSE(checked[L"fromCache"].boolean);
  EXPECT_FALSE(FileSystem::Exists(CacheFile()));

  RunJson(L"check --json" + launcher + file, 0);
  const std::vector<uint8_t> cached = ReadWholeFile(CacheFile());
  ASSERT_FALSE(cached.empty());
  const ToolRun fresh = Run(L"check --fresh" + launcher + file + L" " + Quoted(SignedTestFile(L"coral-bay")));
  EXPECT_NE(fresh.out.find(L"cache file: not used (--fresh"), std::wstring::npos)
      << ::testing::PrintToString(fresh.out);
  EXPECT_EQ(fresh.out.find(L"cached:    yes"), std::wstring::npos) << ::testing::PrintToString(fresh.out);
  EXPECT_EQ(ReadWholeFile(CacheFile()), cached);
}

// The version the file states, read from its version resource.
TEST_F(SignCheckTest, FileVersion) {
  VersionResource resource;
  resource.fixed.dwSignature = VS_FFI_SIGNATURE;
  resource.fixed.dwStrucVersion = VS_FFI_STRUCVERSION;
  resource.fixed.dwFileVersionMS = MAKELONG(2, 1);
  resource.fixed.dwFileVersionLS = MAKELONG(40, 3);
  const std::wstring file = CopyOf(SignedTestFile(L"unsigned"), L"versioned.dll");
  const HANDLE update = ::BeginUpdateResourceW(file.c_str(), FALSE);
  ASSERT_TRUE(update != nullptr);
  ASSERT_TRUE(::UpdateResourceW(update, MAKEINTRESOURCEW(16), MAKEINTRESOURCEW(1), 0, &resource, sizeof(resource)));
  ASSERT_TRUE(::EndUpdateResourceW(update, FALSE));
  EXPECT_EQ(RunJson(L"check --json " + Quoted(file), 1)[L"files"].items.at(0)[L"fileVersion"].text, L"1.2.3.40");
  const JsonValue plain = RunJson(L"check --json " + Quoted(SignedTestFile(L"unsigned")), 1);
  EXPECT_EQ(plain[L"files"].items.at(0)[L"fileVersion"].kind, JsonValue::Kind::Null);
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
  EXPECT_EQ(RunJson(L"diagnose --json", 1)[L"cacheState"].text, L"corrupt");
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
// Catches a diagnosis that can only repeat a stale cache: with the module
// changed in place, its size and times kept, the cached verdict says the
// launch would start; --fresh sees the change.
TEST_F(SignCheckLauncherTest, DiagnoseFreshSeesPastAStaleCache) {
  RunJson(L"check --json --launcher " + Quoted(launcher_) + L" " + Quoted(module_) + L" " + Quoted(companion_), 0);
  ChangeKeepingStamp(module_);
  const std::wstring arguments = L"diagnose --json --launcher " + Quoted(launcher_);
  EXPECT_TRUE(RunJson(arguments, 0)[L"outcome"][L"wouldStart"].boolean);
  const JsonValue fresh = RunJson(L"diagnose --fresh --json --launcher " + Quoted(launcher_), 1);
  EXPECT_FALSE(fresh[L"outcome"][L"wouldStart"].boolean);
  EXPECT_TRUE(fresh[L"fresh"].boolean);
}

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
  const std::wstring log = temp_.WriteFile(L"targets\\launcher.log", "an earlier line\r\n");
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
      {"the trace of a launch that did not start", product + L"launcher.log", log, L"", 0},
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
        // A module that fails to load leaves a trace.
        ::SetEnvironmentVariableW(L"VARO_TEST_APP_FAIL_LOAD", c.link == product + L"launcher.log" ? L"1" : nullptr);
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
