#include "locations/profile_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/unique_handle.h"
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
      {"[Upgrade]\r\nBuild=7\r\n[Upgrade]\r\nVersion=2.0\r\n", nullptr},
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

// Catches a writer that loses what else the file holds, writes the value
// where the system's reader does not look for it, or breaks the file's
// encoding: after each write the system's own reader finds the new value
// and every other value as before.
TEST_F(ProfileFileTest, WritesTheValueWhereTheSystemReaderFindsItAndKeepsTheRest) {
  const struct {
    const char* what;
    std::wstring before;
    bool utf16;
  } cases[] = {
      {"an empty file", L"", false},
      {"no such section", L"[Other]\r\nName=x\r\n", false},
      {"a last line without its line break", L"[Upgrade]\r\nChannel=beta", false},
      {"a section header only", L"[Other]\r\nName=x\r\n[upgrade]\r\n", false},
      {"the key with blanks and quotes", L"[Upgrade]\r\n  version = \"1.0\"  \r\nChannel=beta\r\n", false},
      {"two sections of that name, the second one unread",
       L"[Upgrade]\r\nChannel=beta\r\n[Other]\r\nName=x\r\n[Upgrade]\r\nVersion=1.0\r\n", false},
      {"a UTF-16 file", L"[Other]\r\nName=\x7248\x672C\r\n[Upgrade]\r\nVersion=1.0\r\n", true},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> bytes;
    if (c.utf16) bytes = {0xFF, 0xFE};
    for (wchar_t unit : c.before) {
      bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
      if (c.utf16) bytes.push_back(static_cast<uint8_t>(unit >> 8));
    }
    const std::wstring path = temp_.WriteFile(L"config.ini", bytes);
    {
      const platform::UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                                          OPEN_EXISTING, 0, nullptr));
      ASSERT_TRUE(WriteProfileString(file.Get(), L"Upgrade", L"Version", L"2.0")) << c.what;
    }
    auto system = [&path](const wchar_t* section, const wchar_t* key) {
      wchar_t value[64] = {};
      ::GetPrivateProfileStringW(section, key, L"(none)", value, 64, path.c_str());
      return std::wstring(value);
    };
    EXPECT_EQ(system(L"Upgrade", L"Version"), L"2.0") << c.what;
    if (c.before.find(L"Channel") != std::wstring::npos) {
      EXPECT_EQ(system(L"Upgrade", L"Channel"), L"beta") << c.what;
    }
    if (c.before.find(L"Name") != std::wstring::npos) {
      EXPECT_EQ(system(L"Other", L"Name"), c.utf16 ? L"\x7248\x672C" : L"x") << c.what;
    }
    const std::vector<uint8_t> after = ReadWholeFile(path);
    EXPECT_EQ(after.size() >= 2 && after[0] == 0xFF && after[1] == 0xFE, c.utf16) << c.what;
  }
}

}  // namespace
