#include "platform/system_library_cache.h"

#include <gtest/gtest.h>

#include "tests/support/temp_folder.h"

namespace {

// Each test runs in a process of its own, so the cache starts empty.

TEST(SystemLibraryCacheTest, NamesDifferingInAsciiCaseShareOneEntry) {
  auto& cache = SystemLibraryCache::Instance();
  const HMODULE first = cache.GetLibrary(L"Advapi32.dll");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(cache.GetLibrary(L"ADVAPI32.DLL"), first);
  EXPECT_EQ(cache.EntryCountForTesting(), 1u);

  // Without the extension it is another name, cached on its own.
  EXPECT_NE(cache.GetLibrary(L"Advapi32"), nullptr);
  EXPECT_EQ(cache.EntryCountForTesting(), 2u);
}

// Catches LoadLibraryW("") returning the executable's own module.
TEST(SystemLibraryCacheTest, EmptyNameLoadsNothing) {
  auto& cache = SystemLibraryCache::Instance();
  ::SetLastError(0xDEADBEEF);
  EXPECT_EQ(cache.GetLibrary(L""), nullptr);
  EXPECT_EQ(::GetLastError(), 0xDEADBEEFu);  // LoadLibraryW was not called
  EXPECT_EQ(cache.EntryCountForTesting(), 0u);
}

// A failed load is not remembered: once the library appears, it loads.
TEST(SystemLibraryCacheTest, FailedLoadIsTriedAgain) {
  auto& cache = SystemLibraryCache::Instance();
  TempFolder temp;
  const std::wstring name = temp.Path(L"late.dll");
  EXPECT_EQ(cache.GetLibrary(name), nullptr);
  EXPECT_EQ(cache.GetLibrary(name), nullptr);
  EXPECT_EQ(cache.EntryCountForTesting(), 0u);

  wchar_t system[MAX_PATH];
  ::GetSystemDirectoryW(system, MAX_PATH);
  ASSERT_TRUE(::CopyFileW((std::wstring(system) + L"\\version.dll").c_str(), name.c_str(), FALSE));
  const HMODULE module = cache.GetLibrary(name);
  EXPECT_NE(module, nullptr);
  EXPECT_EQ(cache.EntryCountForTesting(), 1u);
  // The cache never frees; the test does, so that its folder can go.
  ::FreeLibrary(module);
}

}  // namespace
