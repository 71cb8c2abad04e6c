#include "tests/support/one_test_run.h"

#include <cstdio>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/temp_folder.h"

DWORD RunOneTest(const std::wstring& program, const std::wstring& testName, const std::wstring& extraArguments) {
  TempFolder temp;
  const std::wstring output = temp.Path(L"output.txt");
  const auto child = StartProcess(program,
                                  L"--gtest_also_run_disabled_tests --gtest_filter=" + testName + L" " + extraArguments,
                                  output, output);
  DWORD exitCode = WaitForExit(child, kOneTestTimeoutMilliseconds);
  // A hung test fails instead of stopping the whole run.
  if (child && exitCode == STILL_ACTIVE) ::TerminateProcess(child.Get(), STILL_ACTIVE);
  const std::vector<uint8_t> printed = ReadWholeFile(output);
  std::fwrite(printed.data(), 1, printed.size(), stdout);
  std::fflush(stdout);
  return exitCode;
}
