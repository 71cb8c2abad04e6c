#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "host/launch_trace.h"
#include "ini_and_log/bounded_log.h"
#include "locations/product_layout.h"
#include "tests/e2e/launcher_fixture.h"
#include "tests/support/child_process.h"

// What a launch that does not start the application leaves behind for
// whoever supports the product: one line in "launcher.log" in the product
// folder, saying what stopped it, which file, and the signature check's
// findings.

namespace {

// An API-set name that no system resolves: a file of that name beside the
// module is a product file like any other.
constexpr wchar_t kApiSetName[] = L"api-ms-win-crt-varo-l1-1-0.dll";

class LaunchTraceTest : public LauncherTest {
 protected:
  std::wstring Log() const { return ProductFolder() + product_layout::kLaunchLogFile; }

  // The log's last line, as text.
  std::wstring LastLine() const {
    const std::vector<std::string> lines = bounded_log::LastLines(Log(), 1, 64 * 1024);
    if (lines.empty()) return L"";
    return std::wstring(lines.back().begin(), lines.back().end());
  }

  // The outcome that "VaroSignCheck diagnose" foresees for `launcher`, and
  // its exit code.
  std::pair<DWORD, std::wstring> Diagnose(const std::wstring& launcher) {
    // Fresh names each run: Wine may close an ended child's handles a moment
    // after the process has signalled its end.
    const std::wstring run = std::to_wstring(++diagnoses_);
    const std::wstring out = temp_.Path(L"diagnose" + run + L".txt");
    const auto process = StartProcess(Environment(L"VARO_LAUNCHERS") + L"\\VaroSignCheck.exe",
                                      L"diagnose --launcher \"" + launcher + L"\"", out,
                                      temp_.Path(L"diagnose" + run + L".err"));
    EXPECT_TRUE(process);
    const DWORD exitCode = WaitForExit(process, kLaunchTimeout);
    const std::vector<uint8_t> bytes = ReadWholeFile(out);
    const std::wstring text(bytes.begin(), bytes.end());
    lastDiagnosis_ = text;
    const size_t label = text.find(L"\noutcome:");
    if (label == std::wstring::npos) return {exitCode, L""};
    const size_t start = text.find_first_not_of(L' ', label + 9);
    return {exitCode, text.substr(start, text.find(L'\r', start) - start)};
  }

  // The value of the line's field `name`, read back as diagnose reads it.
  static std::wstring FieldOf(const std::wstring& line, const wchar_t* name) {
    for (const TraceField& field : ReadTraceLine(line)) {
      if (field.name == name) return field.value;
    }
    return L"";
  }

  int diagnoses_ = 0;
  std::wstring lastDiagnosis_;  // the whole text of the last diagnosis
};

// Catches a launch that gives up without a word: each way of not reaching
// the application's entry leaves a line that tells it from the others, and a
// launch that starts the application leaves none. And catches a diagnosis
// that tells a support engineer something else than the launch then does:
// replayed just before it, it foresees the same end and the same file.
TEST_F(LaunchTraceTest, EveryLaunchThatDoesNotStartLeavesOneLine) {
  struct Case {
    const wchar_t* program;
    std::function<void()> layOut;  // after a good product is installed
    std::vector<std::wstring> expected;  // parts of the line; none: no line at all
    // The start of diagnose's outcome; none where only running the module's
    // code or the PDF reader's Windows check could tell.
    const wchar_t* foreseen = nullptr;
  };
  const std::wstring folder = VersionFolder(L"1.0");
  const Case cases[] = {
      {kPicViewer, [] {}, {}, L"would start"},
      {kPicViewer, [&] { ::DeleteFileW((folder + L"VaroImageApp.dll").c_str()); },
       {L"outcome \"module missing\"", L"1.0\\\\VaroImageApp.dll\""},
       L"would not start: module missing: "},
      // config.ini gone: the module is looked for beside the launcher, and the
      // line says why there.
      {kPicViewer, [&] { ::DeleteFileW((ProductFolder() + L"config.ini").c_str()); },
       {L"outcome \"module missing\"", L"bin\\\\VaroImageApp.dll\"",
        L"detail \"config.ini names no version folder and no install path is recorded; the launcher's own folder "
        L"was taken\""},
       L"would not start: module missing: "},
      // No product folder at all, as for a launcher started outside an
      // installed product: the line is written all the same.
      {kPicViewer,
       [&] {
         const std::wstring product = ProductFolder().substr(0, ProductFolder().size() - 1);
         ASSERT_TRUE(::MoveFileW(product.c_str(), (product + L"-moved").c_str()));
       },
       {L"outcome \"module missing\"", L"bin\\\\VaroImageApp.dll\""},
       L"would not start: module missing: "},
      // Replayed as the PDF reader's without --product: its launcher says so.
      {kPdfReader, [&] { ::DeleteFileW((folder + L"VaroPdfApp.dll").c_str()); },
       {L"outcome \"module missing\"", L"1.0\\\\VaroPdfApp.dll\""},
       L"would not start: module missing: "},
      {kPicViewer,
       [&] {
         ::DeleteFileW((folder + L"VaroImageApp.dll").c_str());
         FileSystem::CreateDirectoryTree(VersionFolder(L"2.0"));
         WriteIni(L"temp.ini", L"2.0");
       },
       {L"outcome \"module missing\"",
        L"hand-over \"not done: the version's folder lacks the application module (version 2.0)\""},
       L"would not start: module missing: "},
      {kPicViewer, [&] { Copy(Artifact(L"companion-foreign.dll"), folder + L"FreeImage.dll"); },
       {L"outcome \"refused\"", L"FreeImage.dll\"", L"verdict Valid", L"result 0x00000000", L"rule refused",
        L"signer \"Foreign Test Publisher Ltd\"",
        L"detail \"it is signed by Foreign Test Publisher Ltd, which is not an allowed publisher\""},
       L"would refuse "},
      {kPicViewer,
       [&] {
         std::vector<uint8_t> changed = ReadWholeFile(Artifact(L"app-allowed.dll"));
         changed[1024] ^= 1;
         temp_.WriteFile(L"AppData\\VaroPic\\Application\\1.0\\VaroImageApp.dll", changed);
       },
       {L"outcome \"refused\"", L"VaroImageApp.dll\"", L"verdict Failed", L"result 0x80096010 TRUST_E_BAD_DIGEST",
        L"detail \"it was changed after signing\""},
       L"would refuse "},
      {kPicViewer, [&] { InstallVersion(L"1.0", L"app-imports-helper.dll"); },
       {L"outcome \"dependency missing\"", L"file \"helper.dll\""},
       L"would not start: dependency missing: "},
      {kPicViewer, [] { SetEnvironment(L"VARO_TEST_APP_FAIL_LOAD", L"1"); },
       {L"outcome \"load failed\"", L"detail \"error 1114"}},
      {kPicViewer, [&] { InstallVersion(L"1.0", L"no-entry.dll"); },
       {L"outcome \"no entry function\"", L"detail \"ImageViewerMain\""},
       L"would not start: no entry function: "},
      {kPicViewer,
       [&] {
         InstallVersion(L"1.0", L"app-imports-api-set.dll");
         Copy(Artifact(L"marker.dll"), folder + kApiSetName);
       },
       {L"outcome \"refused\"", L"api-ms-win-crt-varo-l1-1-0.dll\"", L"verdict NotSigned", L"detail \"it is not signed\""},
       L"would refuse "},
      {kPdfReader,
       [&] {
         registry_.SetText(HKEY_CURRENT_USER, 0, L"Software\\Wine\\AppDefaults\\VaroPdfReader.exe", L"Version",
                           L"vista");
       },
       {L"outcome \"os gate declined\""}},
  };
  for (const Case& c : cases) {
    const std::wstring launcher = InstallProduct(c.program);
    ::DeleteFileW((ProductFolder() + L"temp.ini").c_str());
    for (const wchar_t* stale : {L"FreeImage.dll", L"helper.dll", kApiSetName}) ::DeleteFileW((folder + stale).c_str());
    c.layOut();
    ::DeleteFileW(Log().c_str());
    const auto [diagnoseExit, diagnosis] = Diagnose(launcher);
    Launch(launcher);
    SetEnvironment(L"VARO_TEST_APP_FAIL_LOAD", L"");

    const std::wstring line = LastLine();
    SCOPED_TRACE(::testing::PrintToString(line));
    if (c.expected.empty()) {
      EXPECT_FALSE(FileSystem::Exists(Log()));
    }
    for (const std::wstring& part : c.expected) {
      EXPECT_NE(line.find(part), std::wstring::npos) << ::testing::PrintToString(part);
    }
    if (c.foreseen != nullptr) {
      SCOPED_TRACE(::testing::PrintToString(diagnosis));
      EXPECT_EQ(diagnoseExit, c.expected.empty() ? 0u : 1u);
      EXPECT_EQ(diagnosis.rfind(c.foreseen + FieldOf(line, L"file"), 0), 0u);
    }
    if (!c.expected.empty()) {
      EXPECT_NE(line.find(L" pid "), std::wstring::npos);
      EXPECT_EQ(FieldOf(line, L"launcher"), launcher);
    }
  }
}

// Catches a trace that stops the launch, or waits, when its log cannot be
// written: with a folder where the log would be, the refusal still goes on
// to the notice and the launcher ends. The diagnosis says the line is lost.
TEST_F(LaunchTraceTest, UnwritableLogChangesNothing) {
  const std::wstring launcher = InstallProduct(kPicViewer);
  Copy(Artifact(L"companion-foreign.dll"), VersionFolder(L"1.0") + L"FreeImage.dll");
  ASSERT_TRUE(FileSystem::CreateDirectoryTree(Log()));
  Diagnose(launcher);
  EXPECT_NE(lastDiagnosis_.find(L"a launch cannot write its line: a folder of that name is in the way"),
            std::wstring::npos)
      << ::testing::PrintToString(lastDiagnosis_);
  EXPECT_EQ(Launch(launcher), 0u);
  EXPECT_TRUE(HomePageOpened());
  EXPECT_TRUE(FileSystem::IsDirectory(Log()));
}

}  // namespace
