#include "ini_and_log/bounded_log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win.h"
#include "tests/support/temp_folder.h"

namespace {

class BoundedLogTest : public ::testing::Test {
 protected:
  TempFolder temp_;
};

// Catches a log that grows without end, one that loses the newest lines
// instead of the oldest, and one cut in the middle of a line.
TEST_F(BoundedLogTest, KeepsTheNewestWholeLinesWithinItsLimit) {
  const std::wstring log = temp_.Path(L"launcher.log");
  constexpr size_t kLimit = 1000;
  for (int i = 0; i < 100; ++i) {
    ASSERT_TRUE(bounded_log::Append(log, "line " + std::to_string(i) + " of the launches that did not start\r\n",
                                    kLimit));
    ASSERT_LE(ReadWholeFile(log).size(), kLimit) << i;
  }
  const std::vector<std::string> lines = bounded_log::LastLines(log, 1000, kLimit);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "line 99 of the launches that did not start");
  EXPECT_EQ(lines.front().rfind("line ", 0), 0u) << lines.front();
  EXPECT_LT(lines.size(), 100u);
  EXPECT_EQ(bounded_log::LastLines(log, 2, kLimit),
            (std::vector<std::string>{"line 98 of the launches that did not start",
                                      "line 99 of the launches that did not start"}));
}

// Catches a log written where it cannot be: a folder in its place stays a
// folder, and the answer is false rather than a wait or a crash.
TEST_F(BoundedLogTest, AFolderInItsPlaceIsLeftAlone) {
  const std::wstring log = temp_.Path(L"launcher.log");
  ASSERT_TRUE(::CreateDirectoryW(log.c_str(), nullptr));
  EXPECT_FALSE(bounded_log::Append(log, "line\r\n", 1000));
  EXPECT_TRUE(bounded_log::LastLines(log, 5, 1000).empty());
}

}  // namespace
