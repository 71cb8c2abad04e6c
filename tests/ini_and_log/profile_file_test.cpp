#include "ini_and_log/profile_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cwctype>
#include <optional>
#include <string>
#include <vector>

#include "platform/unique_handle.h"
#include "tests/support/temp_folder.h"

namespace {

std::string Utf8(const std::wstring& text) {
  const int size = static_cast<int>(text.size());
  std::string bytes(static_cast<size_t>(::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr,
                                                               nullptr)),
                    '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr);
  return bytes;
}

// `text` as UTF-16LE with its byte-order mark.
std::string Utf16(const std::wstring& text) {
  std::string bytes = "\xFF\xFE";
  for (wchar_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

// How many "[Upgrade]" headers `text` has, in any letter case.
size_t Sections(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
  size_t count = 0;
  for (size_t at = text.find(L"[upgrade]"); at != std::wstring::npos; at = text.find(L"[upgrade]", at + 1)) ++count;
  return count;
}

class ProfileFileTest : public ::testing::Test {
 protected:
  TempFolder temp_;
};

// What the system's own reader answers for `path`, or nothing.
std::optional<std::wstring> SystemValue(const std::wstring& path, const wchar_t* section, const wchar_t* key) {
  constexpr wchar_t kNone[] = L"(none)";
  wchar_t value[64] = {};
  ::GetPrivateProfileStringW(section, key, kNone, value, 64, path.c_str());
  return std::wstring(value) == kNone ? std::nullopt : std::optional<std::wstring>(value);
}

// Each row a file, asked of this reader and of the system's own, which must
// agree. Catches names compared with their case or blanks, quotes kept, a key
// taken from the wrong section, a value invented where the key is missing,
// and a byte-order mark (UTF-16, or the UTF-8 one many editors write) read as
// text, after which the launch looked for the version in another folder.
TEST_F(ProfileFileTest, ReadsTheValueTheSystemReaderReads) {
  const std::string rows[] = {
      "[Upgrade]\r\nVersion=2.0\r\n",
      "[upgrade]\nVERSION=2.0",
      "  [ Upgrade ]  \r\n\t Version \t=  2.0  \r\n",
      "[Upgrade]\r\nVersion = a b \r\n",
      "[Upgrade]\r\nVersion=\"2.0\"\r\n",
      "[Upgrade]\r\nVersion='2.0'\r\n",
      "[Upgrade]\r\nVersion=\"2.0\r\n",
      "[Other]\r\nVersion=9.9\r\n[Upgrade]\r\nBuild=7\r\nVersion=2.0\r\nVersion=3.0\r\n",
      "[Upgrade]\r\nVersion=\r\n",
      "[Upgrade]\r\nVersionX=2.0\r\nVersion\r\n",
      "[Other]\r\nVersion=2.0\r\n",
      "[Upgrade\r\nVersion=2.0\r\n",
      "Version=2.0\r\n",
      "",
      "\xEF\xBB\xBF[Upgrade]\r\nVersion=2.0\r\n",
      "\xEF\xBB\xBF[Upgrade]\r\nVersion=\xE7\x89\x88\xE6\x9C\xAC" "2\r\n",
      Utf16(L"[Upgrade]\r\nVersion=2.0\r\n"),
  };
  for (const std::string& row : rows) {
    const std::wstring path = temp_.WriteFile(L"config.ini", std::vector<uint8_t>(row.begin(), row.end()));
    const std::optional<std::wstring> expected = SystemValue(path, L"Upgrade", L"Version");
    std::wstring value = L"untouched";
    EXPECT_EQ(ReadProfileString(path, L"Upgrade", L"Version", value), expected.has_value()) << row;
    EXPECT_EQ(value, expected.value_or(L"untouched")) << row;
  }
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
  enum class Mark { None, Utf16, Utf8 };
  const struct {
    const char* what;
    std::wstring before;
    Mark mark = Mark::None;
  } cases[] = {
      {"an empty file", L""},
      {"no such section", L"[Other]\r\nName=x\r\n"},
      {"a last line without its line break", L"[Upgrade]\r\nChannel=beta"},
      {"a section header only", L"[Other]\r\nName=x\r\n[upgrade]\r\n"},
      {"the key with blanks and quotes", L"[Upgrade]\r\n  version = \"1.0\"  \r\nChannel=beta\r\n"},
      {"two sections of that name, the second one unread",
       L"[Upgrade]\r\nChannel=beta\r\n[Other]\r\nName=x\r\n[Upgrade]\r\nVersion=1.0\r\n"},
      {"a UTF-16 file", L"[Other]\r\nName=\x7248\x672C\r\n[Upgrade]\r\nVersion=1.0\r\n", Mark::Utf16},
      {"a UTF-8 file with its mark before the section", L"[Upgrade]\r\nVersion=1.0\r\n", Mark::Utf8},
      {"a UTF-8 file with its mark", L"[Other]\r\nName=\x7248\x672C\r\n[Upgrade]\r\nVersion=1.0\r\n", Mark::Utf8},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> bytes;
    std::string text;
    if (c.mark == Mark::Utf16) {
      text = Utf16(c.before);
    } else if (c.mark == Mark::Utf8) {
      text = "\xEF\xBB\xBF" + Utf8(c.before);
    } else {
      for (wchar_t unit : c.before) text.push_back(static_cast<char>(unit));
    }
    bytes.assign(text.begin(), text.end());
    const std::wstring path = temp_.WriteFile(L"config.ini", bytes);
    {
      const platform::UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                                          OPEN_EXISTING, 0, nullptr));
      ASSERT_TRUE(WriteProfileValue(file.Get(), L"Upgrade", L"Version", L"2.0")) << c.what;
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
      EXPECT_EQ(system(L"Other", L"Name"), c.mark != Mark::None ? L"\x7248\x672C" : L"x") << c.what;
    }
    // The mark kept, and no second section of that name that the system's
    // reader and this one would answer from differently.
    const std::vector<uint8_t> after = ReadWholeFile(path);
    EXPECT_EQ(after.size() >= 2 && after[0] == 0xFF && after[1] == 0xFE, c.mark == Mark::Utf16) << c.what;
    EXPECT_EQ(after.size() >= 3 && after[0] == 0xEF && after[1] == 0xBB && after[2] == 0xBF, c.mark == Mark::Utf8)
        << c.what;
    std::wstring written;
    const size_t step = c.mark == Mark::Utf16 ? 2 : 1;
    for (size_t i = c.mark == Mark::Utf16 ? 2 : 0; i < after.size(); i += step) written.push_back(after[i]);
    EXPECT_EQ(Sections(written), std::max<size_t>(Sections(c.before), 1)) << c.what;
  }
}

}  // namespace
