// The main of every test program. The tests are written for one process per
// test, as ctest runs them: the system library cache, the verifier's
// launcher publisher, a stand-in trust library's first load and the
// environment a test sets all last as long as the process. Run as a whole,
// a program therefore runs each selected test in a process of its own, the
// way ctest would, and sums up. A run that selects one test, lists the tests,
// asks for help, or uses what only one process can do (a report file,
// repeats, shuffling, shards) is GoogleTest's own.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/module_file_name.h"
#include "platform/win.h"
#include "tests/support/one_test_run.h"
#include "tests/support/test_selection.h"

namespace {

std::vector<std::string> SelectedTests() {
  const std::string filter = GTEST_FLAG_GET(filter);
  const bool alsoDisabled = GTEST_FLAG_GET(also_run_disabled_tests);
  const ::testing::UnitTest& tests = *::testing::UnitTest::GetInstance();
  std::vector<std::string> selected;
  for (int i = 0; i < tests.total_test_suite_count(); ++i) {
    const ::testing::TestSuite& suite = *tests.GetTestSuite(i);
    for (int j = 0; j < suite.total_test_count(); ++j) {
      const std::string name = suite.GetTestInfo(j)->name();
      if (IsTestSelected(filter, suite.name(), name, alsoDisabled)) selected.push_back(suite.name() + ("." + name));
    }
  }
  return selected;
}

// GoogleTest reads a help request, or a flag it does not know, from the
// arguments it leaves in place.
bool AsksForHelp(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--help" || argument == "-h" || argument == "-?" || argument == "/?") return true;
    for (const char* prefix : {"--gtest_", "-gtest_", "/gtest_"}) {
      if (argument.rfind(prefix, 0) == 0) return true;
    }
  }
  return false;
}

bool NeedsOneProcess() {
  return !GTEST_FLAG_GET(output).empty() || GTEST_FLAG_GET(repeat) != 1 || GTEST_FLAG_GET(shuffle) ||
         ::GetEnvironmentVariableW(L"GTEST_TOTAL_SHARDS", nullptr, 0) != 0 ||
         ::GetEnvironmentVariableW(L"GTEST_OUTPUT", nullptr, 0) != 0;
}

int RunEachInItsOwnProcess(const std::vector<std::string>& selected) {
  const std::wstring self = platform::ModuleFileName(nullptr);
  std::vector<std::string> failed;
  size_t ran = 0;
  for (const std::string& test : selected) {
    ++ran;
    if (RunOneTest(self, std::wstring(test.begin(), test.end())) == 0) continue;
    failed.push_back(test);
    if (GTEST_FLAG_GET(fail_fast)) break;
  }
  std::printf("[==========] %zu of %zu tests, each in a process of its own: %zu passed, %zu failed.\n", ran,
              selected.size(), ran - failed.size(), failed.size());
  for (const std::string& test : failed) std::printf("[  FAILED  ] %s\n", test.c_str());
  return failed.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (GTEST_FLAG_GET(list_tests) || AsksForHelp(argc, argv) || NeedsOneProcess()) return RUN_ALL_TESTS();
  const std::vector<std::string> selected = SelectedTests();
  if (selected.size() <= 1) return RUN_ALL_TESTS();
  return RunEachInItsOwnProcess(selected);
}
