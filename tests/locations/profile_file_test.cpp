#include "locations/profile_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

namespace {

class ProfileFileTest : public ::testing::Test {
 protected:
  TempFolder temp_;
};

// Each row a file and what the system's own reader answers from it (as
// Wine's does), or nothing. Catches names compared with their case or
// blanks, quotes kept, a key taken from the wrong section, and a value
// invented where the key is missing.
TEST_F(ProfileFileTest, ReadsTheValueAsTheSystemReaderDoes) {
  struct Row {
    const char* text;
    const wchar_t* expected;  // null: no such key
  };
  const Row rows[] = {
      {"[Upgrade]\r\nVersion=2.0\r\n", L"2.0"},
      {"[upgrade]\nVERSION=2.0", L"2.0"},
      {"  [ Upgrade ]  \r\n\t Version \t=  2.0  \r\n", L"2.0"},
      {"[Upgrade]\r\nVersion = a b \r\n", L"a b"},
      {"[Upgrade]\r\nVersion=\"2.0\"\r\n", L"2.0"},
      {"[Upgrade]\r\nVersion='2.0'\r\n", L"2.0"},
      {"[Upgrade]\r\nVersion=\"2.0\r\n", L"\"2.0"},
      {"[Other]\r\nVersion=9.9\r\n[Upgrade]\r\nBuild=7\r\nVersion=2.0\r\nVersion=3.0\r\n", L"2.0"},
      {"[Upgrade]\r\nVersion=\r\n", L""},
      {"[Upgrade]\r\nVersionX=2.0\r\nVersion\r\n", nullptr},
      {"[Other]\r\nVersion=2.0\r\n", nullptr},
      {"[Upgrade\r\nVersion=2.0\r\n", nullptr},
      {"Version=2.0\r\n", nullptr},
      {"", nullptr},
  };
  for (const Row& row : rows) {
    const std::wstring path = temp_.WriteFile(L"config.ini", row.text);
    std::wstring value = L"untouched";
    EXPECT_EQ(ReadProfileString(path, L"Upgrade", L"Version", value), row.expected != nullptr) << row.text;
    EXPECT_EQ(value, row.expected ? row.expected : L"untouched") << row.text;
  }
}

// A file written as UTF-16 (with its byte-order mark), as the system's writer
// keeps a file that already is, must be read as such.
TEST_F(ProfileFileTest, ReadsUtf16Files) {
  std::vector<uint8_t> bytes = {0xFF, 0xFE};
  for (wchar_t c : std::wstring(L"[Upgrade]\r\nVersion=2.0\r\n")) {
    bytes.push_back(static_cast<uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  std::wstring value;
  EXPECT_TRUE(ReadProfileString(temp_.WriteFile(L"config.ini", bytes), L"Upgrade", L"Version", value));
  EXPECT_EQ(value, L"2.0");
}

// The reason this reader exists: the system's reader takes no path beyond
// MAX_PATH. A missing file gives nothing.
TEST_F(ProfileFileTest, ReadsFilesAtAnyPathLength) {
  const std::wstring folder = PathOfLength(temp_.Path(L"deep"), 400);
  const std::wstring path =
      temp_.WriteFile(folder.substr(temp_.Path().size()) + L"\\config.ini", "[Upgrade]\r\nVersion=2.0\r\n");
  std::wstring value;
  EXPECT_TRUE(ReadProfileString(path, L"Upgrade", L"Version", value));
  EXPECT_EQ(value, L"2.0");
  EXPECT_FALSE(ReadProfileString(folder + L"\\missing.ini", L"Upgrade", L"Version", value));
}

}  // namespace
