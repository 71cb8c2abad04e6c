#include "tests/support/windows_version_run.h"

#include <string_view>

#include "platform/module_file_name.h"
#include "platform/win.h"
#include "tests/support/one_test_run.h"
#include "tests/support/registry_changes.h"
#include "tests/support/temp_folder.h"

namespace {

bool ReportShowsOnePassedTest(const std::wstring& reportPath) {
  const std::vector<uint8_t> bytes = ReadWholeFile(reportPath);
  const std::string_view report(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  // A disabled test that ran still counts as disabled.
  return report.find("<testsuites tests=\"1\" failures=\"0\"") != std::string_view::npos &&
         report.find(" errors=\"0\"") != std::string_view::npos;
}

}  // namespace

bool RunTestAsWindowsVersion(const std::wstring& testName, const std::wstring& version,
                             const std::vector<std::wstring>& companions) {
  TempFolder temp;
  const std::wstring program = platform::ModuleFileName(nullptr);
  const std::wstring folder = program.substr(0, program.find_last_of(L'\\') + 1);
  const std::wstring copyName = L"version-run-" + std::to_wstring(::GetCurrentProcessId()) + L".exe";
  if (!::CopyFileW(program.c_str(), temp.Path(copyName).c_str(), TRUE)) return false;
  for (const std::wstring& companion : companions) {
    if (!::CopyFileW((folder + companion).c_str(), temp.Path(companion).c_str(), TRUE)) return false;
  }

  RegistryChanges registry;
  if (!registry.SetText(HKEY_CURRENT_USER, 0, L"Software\\Wine\\AppDefaults\\" + copyName, L"Version", version)) {
    return false;
  }
  const std::wstring report = temp.Path(L"report.xml");
  const DWORD exitCode = RunOneTest(temp.Path(copyName), testName, L"--gtest_output=xml:" + report);
  return exitCode == 0 && ReportShowsOnePassedTest(report);
}
