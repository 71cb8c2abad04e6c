#include "platform/error_text.h"

#include <gtest/gtest.h>

namespace {

// The texts end up in one-line messages: no line break, no final full stop.
TEST(ErrorTextTest, SystemMessageLosesLineEndAndFullStop) {
  const std::wstring text = platform::GetSystemErrorText(ERROR_FILE_NOT_FOUND);
  ASSERT_FALSE(text.empty());
  EXPECT_NE(text, L"Unknown error");
  EXPECT_NE(text.back(), L'.');
  EXPECT_EQ(text.find_first_of(L"\r\n"), std::wstring::npos);
}

// Catches an empty text for unknown codes and HRESULT-style codes not found.
TEST(ErrorTextTest, UnknownCodeAndHighBits) {
  EXPECT_EQ(platform::GetSystemErrorText(0xFFFE), L"Unknown error");
  // Only the low 16 bits identify the message.
  EXPECT_EQ(platform::GetSystemErrorText(0x80070002), platform::GetSystemErrorText(ERROR_FILE_NOT_FOUND));
}

// A last error of 0 means no error, not an unknown one.
TEST(ErrorTextTest, LastErrorTextIsEmptyWithoutAnError) {
  ::SetLastError(0);
  EXPECT_EQ(platform::GetLastErrorText(), L"");
  ::SetLastError(ERROR_ACCESS_DENIED);
  EXPECT_EQ(platform::GetLastErrorText(), platform::GetSystemErrorText(ERROR_ACCESS_DENIED));
}

}  // namespace
