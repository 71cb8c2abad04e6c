#include "tests/support/windows_version_run.h"

#include <string_view>

#include "platform/scope_exit.h"
#include "platform/unique_handle.h"
#include "platform/win.h"
#include "tests/support/temp_folder.h"

namespace {

std::wstring ProgramPath() {
  std::wstring path(MAX_PATH, L'\0');
  path.resize(::GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
  return path;
}

bool SetWineVersion(const std::wstring& key, const std::wstring& version) {
  HKEY created = nullptr;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &created, nullptr) !=
      ERROR_SUCCESS) {
    return false;
  }
  const platform::UniqueRegKey owned({created, &::RegCloseKey});
  const auto bytes = static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t));
  return ::RegSetValueExW(created, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()), bytes) ==
         ERROR_SUCCESS;
}

// Exit code of `commandLine`, or -1 when it cannot be started.
long RunAndWait(std::wstring commandLine) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process)) {
    return -1;
  }
  platform::UniqueKernelHandle processHandle(process.hProcess);
  platform::UniqueKernelHandle threadHandle(process.hThread);
  ::WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exitCode = 0;
  ::GetExitCodeProcess(process.hProcess, &exitCode);
  return static_cast<long>(exitCode);
}

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
  const std::wstring program = ProgramPath();
  const std::wstring folder = program.substr(0, program.find_last_of(L'\\') + 1);
  const std::wstring copyName = L"version-run-" + std::to_wstring(::GetCurrentProcessId()) + L".exe";
  if (!::CopyFileW(program.c_str(), temp.Path(copyName).c_str(), TRUE)) return false;
  for (const std::wstring& companion : companions) {
    if (!::CopyFileW((folder + companion).c_str(), temp.Path(companion).c_str(), TRUE)) return false;
  }

  const std::wstring key = L"Software\\Wine\\AppDefaults\\" + copyName;
  const platform::ScopeExit removeKey([&] { ::RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str()); });
  if (!SetWineVersion(key, version)) return false;

  const std::wstring report = temp.Path(L"report.xml");
  const long exitCode = RunAndWait(L"\"" + temp.Path(copyName) + L"\" --gtest_also_run_disabled_tests --gtest_filter=" +
                                   testName + L" --gtest_output=xml:" + report);
  return exitCode == 0 && ReportShowsOnePassedTest(report);
}
