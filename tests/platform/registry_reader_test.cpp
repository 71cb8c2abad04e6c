#include "platform/registry_reader.h"

#include <gtest/gtest.h>

#include "tests/support/registry_changes.h"

namespace {

class RegistryReaderTest : public ::testing::Test {
 protected:
  const std::wstring key_ = L"Software\\VaroTest-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                            std::to_wstring(::GetTickCount64());
  RegistryChanges registry_;
  platform::RegistryReader reader_;
};

// Reading from the wrong view would find a 32-bit program's install path
// missing, or a 64-bit one where only the 32-bit one should count.
TEST_F(RegistryReaderTest, ReadsOnlyFromTheRequestedView) {
  ASSERT_TRUE(registry_.SetText(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, key_, L"Path", L"C:\\Thirty Two"));
  ASSERT_TRUE(registry_.SetText(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, key_, L"", L"default text"));

  EXPECT_EQ(reader_.ReadText(HKEY_LOCAL_MACHINE, key_.c_str(), L"Path", KEY_READ | KEY_WOW64_32KEY, 519),
            L"C:\\Thirty Two");
  EXPECT_EQ(reader_.ReadText(HKEY_LOCAL_MACHINE, key_.c_str(), nullptr, KEY_READ | KEY_WOW64_32KEY, 519),
            L"default text");
  EXPECT_EQ(reader_.ReadText(HKEY_LOCAL_MACHINE, key_.c_str(), L"Path", KEY_READ | KEY_WOW64_64KEY, 519), L"");
  EXPECT_EQ(reader_.ReadText(HKEY_LOCAL_MACHINE, key_.c_str(), L"Missing", KEY_READ | KEY_WOW64_32KEY, 519), L"");
  EXPECT_EQ(reader_.ReadText(HKEY_LOCAL_MACHINE, (key_ + L"\\Missing").c_str(), L"Path", KEY_READ, 519), L"");
}

// A value that does not fit must count as missing, not come back cut short;
// one that just fits must come back whole.
TEST_F(RegistryReaderTest, ValueLongerThanTheLimitIsMissing) {
  const std::wstring fits(258, L'f');     // 518 bytes with its terminator
  const std::wstring tooLong(259, L't');  // 520 bytes
  ASSERT_TRUE(registry_.SetText(HKEY_CURRENT_USER, 0, key_, L"fits", fits));
  ASSERT_TRUE(registry_.SetText(HKEY_CURRENT_USER, 0, key_, L"long", tooLong));
  EXPECT_EQ(reader_.ReadText(HKEY_CURRENT_USER, key_.c_str(), L"fits", KEY_READ, 519), fits);
  EXPECT_EQ(reader_.ReadText(HKEY_CURRENT_USER, key_.c_str(), L"long", KEY_READ, 519), L"");
  EXPECT_EQ(reader_.ReadText(HKEY_CURRENT_USER, key_.c_str(), L"long", KEY_READ, 2046), tooLong);
}

// The type is not examined and the text ends at the first zero, so binary
// data without a terminator must still give a terminated text.
TEST_F(RegistryReaderTest, AnyTypeIsReadAsTextUpToItsFirstZero) {
  const std::vector<BYTE> twoStrings = {'a', 0, 'b', 0, 0, 0, 'c', 0};
  ASSERT_TRUE(registry_.Set(HKEY_CURRENT_USER, 0, key_, L"multi", REG_MULTI_SZ, twoStrings));
  EXPECT_EQ(reader_.ReadText(HKEY_CURRENT_USER, key_.c_str(), L"multi", KEY_READ, 519), L"ab");

  const std::vector<BYTE> unterminated(519, 'x');
  ASSERT_TRUE(registry_.Set(HKEY_CURRENT_USER, 0, key_, L"binary", REG_BINARY, unterminated));
  EXPECT_EQ(reader_.ReadText(HKEY_CURRENT_USER, key_.c_str(), L"binary", KEY_READ, 519),
            std::wstring(259, L'\x7878') + L'x');
}

}  // namespace
