#include "image/library_name.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Library names as the loader reads them: a check that reads one spelling
// while the loader maps another checks the wrong file.

namespace {

// Catches an extension-less import checked as "helper" while the loader
// maps "helper.dll", a trailing dot or space that makes a second name for
// one file, and two spellings of one library walked as two.
TEST(LibraryNameTest, NamesTheFileTheLoaderMaps) {
  struct Case {
    const wchar_t* name;
    const wchar_t* file;
  };
  const Case cases[] = {
      {L"helper", L"helper.dll"},         {L"HELPER.DLL", L"HELPER.DLL"}, {L"helper.dll.", L"helper.dll"},
      {L"helper.dll . ", L"helper.dll"},  {L"helper.", L"helper"},        {L"helper.ocx", L"helper.ocx"},
      {L"api-ms-win-crt-varo-l1-1-0", L"api-ms-win-crt-varo-l1-1-0.dll"}, {L".", L""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(library_name::LoaderFileName(c.name), c.file) << ::testing::PrintToString(std::wstring(c.name));
  }
  EXPECT_EQ(library_name::Key(L"Helper"), library_name::Key(L"HELPER.dll. "));
  EXPECT_NE(library_name::Key(L"helper"), library_name::Key(L"helper."));
}

// Catches a forwarder's library read from the wrong dot: loaders split at
// the last one, older ones at the first, and a check must cover both.
TEST(LibraryNameTest, ForwardersNameTheirLibraries) {
  EXPECT_EQ(library_name::ForwarderLibraries("fwdt.HelperFn"), std::vector<std::wstring>{L"fwdt.dll"});
  EXPECT_EQ(library_name::ForwarderLibraries("FWDT.#7"), std::vector<std::wstring>{L"FWDT.dll"});
  EXPECT_EQ(library_name::ForwarderLibraries("lib.v2.Fn"), (std::vector<std::wstring>{L"lib.v2", L"lib.dll"}));
  EXPECT_TRUE(library_name::ForwarderLibraries("NoDot").empty());
}

}  // namespace
