#include "locations/plain_folder_name.h"

#include <gtest/gtest.h>

namespace {

// Version names as upgrades write them must pass, or no installed version
// would ever be found.
TEST(PlainFolderNameTest, AcceptsOrdinaryNames) {
  for (const wchar_t* name : {L"3.1.0.25", L"v2", L"2024 beta", L" leading", L"..x", L"a.b"}) {
    EXPECT_TRUE(IsPlainFolderName(name)) << name;
  }
}

// Each refused value could name a folder outside the application root.
TEST(PlainFolderNameTest, RefusesAnythingThatCouldLeaveTheRoot) {
  for (const wchar_t* name : {L"", L".", L"..", L"...", L"..\\x", L"a\\b", L"a/b", L"../x", L"C:x", L"C:",
                              L"C:\\Windows", L"\\\\server\\share", L"x.", L"x ", L".. ", L"a*", L"a?",
                              L"a|b", L"<a>", L"\"a\"", L"a\tb"}) {
    EXPECT_FALSE(IsPlainFolderName(name)) << name;
  }
}

}  // namespace
