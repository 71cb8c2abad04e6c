// The main of every test program. The tests are written for one process per
// test, as ctest runs them: the system library cache, the verifier's
// launcher publisher, a stand-in trust library's first load and the
// environment a test sets all last as long as the process. Run as a whole,
// a program therefore runs each selected test in a process of its own, the
// way ctest would, and sums up; a run that selects one test, or lists them,
// is GoogleTest's own.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/module_file_name.h"
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

int RunEachInItsOwnProcess(const std::vector<std::string>& selected) {
  const std::wstring self = platform::ModuleFileName(nullptr);
  std::vector<std::string> failed;
  for (const std::string& test : selected) {
    if (RunOneTest(self, std::wstring(test.begin(), test.end())) != 0) failed.push_back(test);
  }
  std::printf("[==========] %zu tests, each in a process of its own: %zu passed, %zu failed.\n", selected.size(),
              selected.size() - failed.size(), failed.size());
  for (const std::string& test : failed) std::printf("[  FAILED  ] %s\n", test.c_str());
  return failed.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
  const std::vector<std::string> selected = SelectedTests();
  if (selected.size() <= 1) return RUN_ALL_TESTS();
  return RunEachInItsOwnProcess(selected);
}
