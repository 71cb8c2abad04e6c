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

struct NameCase {
  const wchar_t* text;
  const wchar_t* attribute;
  const wchar_t* value;  // null: the extraction fails
};

void PrintTo(const NameCase& c, std::ostream* out) {
  *out << ::testing::PrintToString(std::wstring(c.attribute)) << " of "
       << ::testing::PrintToString(std::wstring(c.text));
}

class ExtractNameAttributeCaseTest : public ExtractNameAttributeTest,
                                     public ::testing::WithParamInterface<NameCase> {};

// Catches a value cut or run on at the wrong place, a quote kept, a key found
// in the wrong case, a later or embedded occurrence taken, a read past the end
// of the text, and a write on failure.
TEST_P(ExtractNameAttributeCaseTest, ExtractsTheValueOrFailsWithoutWriting) {
  const NameCase& c = GetParam();
  if (c.value != nullptr) {
    ASSERT_TRUE(Extract(c.text, c.attribute));
    EXPECT_EQ(Value(), c.value);
  } else {
    EXPECT_FALSE(Extract(c.text, c.attribute));
    EXPECT_TRUE(Untouched());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Names, ExtractNameAttributeCaseTest,
    ::testing::Values(
        // Quoted values keep their commas and lose their quotes.
        NameCase{L"C=CN, O=\"A Co.,Ltd\", CN=\"Harbor Varo Network Software Co.,Ltd\"", L"CN",
                 L"Harbor Varo Network Software Co.,Ltd"},
        // Plain values end at a comma or at the end of the text.
        NameCase{L"OU=Signing Unit, O=Org", L"OU", L"Signing Unit"},
        NameCase{L"O=Org, CN=varoview.example", L"CN", L"varoview.example"},
        // Keys are case-sensitive; the first one counts.
        NameCase{L"cn=lower", L"CN", nullptr},
        NameCase{L"CN=First, CN=Second", L"CN", L"First"},
        // A key inside another attribute's value is no attribute; one after a
        // multi-valued RDN's '+' is.
        NameCase{L"O=\"x CN=varoview.example,y\", CN=Other", L"CN", L"Other"},
        NameCase{L"O=\"x, CN=varoview.example\"", L"CN", nullptr},
        NameCase{L"OU=Unit + CN=Second, O=Org", L"CN", L"Second"},
        // Cut-off values.
        NameCase{L"O=Org", L"CN", nullptr},
        NameCase{L"O=Org, CN=", L"CN", nullptr},
        NameCase{L"CN=\"", L"CN", nullptr},
        NameCase{L"CN=\"Unterminated, O=Org", L"CN", nullptr},
        // Attribute names of up to 7 characters.
        NameCase{L"ABCDEFG=x", L"ABCDEFG", L"x"},
        NameCase{L"ABCDEFGH=x", L"ABCDEFGH", nullptr}));

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

// Catches a missing null check.
TEST_F(ExtractNameAttributeTest, RefusesNullArguments) {
  EXPECT_FALSE(ExtractNameAttribute(nullptr, L"CN", value_.data()));
  EXPECT_FALSE(ExtractNameAttribute(L"CN=x", nullptr, value_.data()));
  EXPECT_FALSE(ExtractNameAttribute(L"CN=x", L"CN", nullptr));
}

}  // namespace
