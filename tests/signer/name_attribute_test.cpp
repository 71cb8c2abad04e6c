#include "signer/name_attribute.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace {

// Runs ExtractNameAttribute on a buffer prefilled with '#', so that a failure
// that still writes, or a write past the terminator, shows.
class ExtractNameAttributeTest : public ::testing::Test {
 protected:
  bool Extract(const std::wstring& text, const wchar_t* attribute) {
    value_.fill(L'#');
    return ExtractNameAttribute(text.c_str(), attribute, value_.data());
  }
  std::wstring Value() const { return value_.data(); }
  bool Untouched() const { return value_[0] == L'#'; }

  std::array<wchar_t, 128> value_{};
};

// Catches a quoted value cut at its comma or returned with its quotes.
TEST_F(ExtractNameAttributeTest, QuotedValueKeepsItsCommasAndLosesItsQuotes) {
  ASSERT_TRUE(Extract(L"C=CN, O=\"A Co.,Ltd\", CN=\"Harbor Varo Network Software Co.,Ltd\"", L"CN"));
  EXPECT_EQ(Value(), L"Harbor Varo Network Software Co.,Ltd");
}

// Catches a plain value running on past its comma, or lost at the end of the text.
TEST_F(ExtractNameAttributeTest, PlainValueEndsAtCommaOrEndOfText) {
  ASSERT_TRUE(Extract(L"OU=Signing Unit, O=Org", L"OU"));
  EXPECT_EQ(Value(), L"Signing Unit");
  ASSERT_TRUE(Extract(L"O=Org, CN=varoview.example", L"CN"));
  EXPECT_EQ(Value(), L"varoview.example");
}

// Catches a search that ignores case or takes a later occurrence.
TEST_F(ExtractNameAttributeTest, KeyIsMatchedCaseSensitivelyAtItsFirstOccurrence) {
  EXPECT_FALSE(Extract(L"cn=lower", L"CN"));
  EXPECT_TRUE(Untouched());
  ASSERT_TRUE(Extract(L"CN=First, CN=Second", L"CN"));
  EXPECT_EQ(Value(), L"First");
}

// Catches a publisher name smuggled into another attribute's value being taken
// for the CN.
TEST_F(ExtractNameAttributeTest, KeyInsideAnotherValueDoesNotCount) {
  ASSERT_TRUE(Extract(L"O=\"x CN=varoview.example,y\", CN=Other", L"CN"));
  EXPECT_EQ(Value(), L"Other");
  ASSERT_TRUE(Extract(L"OU=Unit + CN=Second, O=Org", L"CN"));
  EXPECT_EQ(Value(), L"Second");
  EXPECT_FALSE(Extract(L"O=\"x, CN=varoview.example\"", L"CN"));
  EXPECT_TRUE(Untouched());
}

// Catches reads past the end of the text and writes on failure.
TEST_F(ExtractNameAttributeTest, CutOffValuesFailWithoutWriting) {
  for (const wchar_t* text : {L"O=Org", L"O=Org, CN=", L"CN=\"", L"CN=\"Unterminated, O=Org"}) {
    EXPECT_FALSE(Extract(text, L"CN")) << text;
    EXPECT_TRUE(Untouched()) << text;
  }
}

// Catches an overflow of the 128-unit name buffer and a wrong length limit.
TEST_F(ExtractNameAttributeTest, LongValuesAreCutTo126OrRefusedFrom128) {
  ASSERT_TRUE(Extract(L"CN=" + std::wstring(126, L'L') + L", O=Org", L"CN"));
  EXPECT_EQ(Value(), std::wstring(126, L'L'));
  ASSERT_TRUE(Extract(L"CN=\"" + std::wstring(126, L'L') + L"Z\"", L"CN"));
  EXPECT_EQ(Value(), std::wstring(126, L'L'));
  EXPECT_EQ(value_[127], L'#');
  EXPECT_FALSE(Extract(L"CN=" + std::wstring(128, L'L'), L"CN"));
  EXPECT_TRUE(Untouched());
}

// Catches a missing null check and an attribute name that overruns the key.
TEST_F(ExtractNameAttributeTest, RefusesNullArgumentsAndLongAttributeNames) {
  EXPECT_FALSE(Extract(L"ABCDEFGH=x", L"ABCDEFGH"));
  ASSERT_TRUE(Extract(L"ABCDEFG=x", L"ABCDEFG"));
  EXPECT_EQ(Value(), L"x");
  EXPECT_FALSE(ExtractNameAttribute(nullptr, L"CN", value_.data()));
  EXPECT_FALSE(ExtractNameAttribute(L"CN=x", nullptr, value_.data()));
  EXPECT_FALSE(ExtractNameAttribute(L"CN=x", L"CN", nullptr));
}

}  // namespace
