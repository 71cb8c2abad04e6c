#include "platform/system_library_cache.h"

#include <gtest/gtest.h>

#include "tests/support/temp_folder.h"

namespace {

// The cache is process-wide: whatever ran before a test in its process (the
// program's own start-up, or other tests of a run in one process) may have
// filled it, so each test counts the entries it adds, with library names no
// other test asks for.

TEST(SystemLibraryCacheTest, NamesDifferingInAsciiCaseShareOneEntry) {
  auto& cache = platform::SystemLibraryCache::Instance();
  const size_t before = cache.EntryCountForTesting();
  const HMODULE first = cache.GetLibrary(L"Mpr.dll");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(cache.GetLibrary(L"MPR.DLL"), first);
  EXPECT_EQ(cache.EntryCountForTesting(), before + 1);

  // Without the extension it is another name, cached on its own.
  EXPECT_NE(cache.GetLibrary(L"Mpr"), nullptr);
  EXPECT_EQ(cache.EntryCountForTesting(), before + 2);
}

// Catches LoadLibraryW("") returning the executable's own module.
TEST(SystemLibraryCacheTest, EmptyNameLoadsNothing) {
  auto& cache = platform::SystemLibraryCache::Instance();
  const size_t before = cache.EntryCountForTesting();
  ::SetLastError(0xDEADBEEF);
  EXPECT_EQ(cache.GetLibrary(L""), nullptr);
  EXPECT_EQ(::GetLastError(), 0xDEADBEEFu);  // LoadLibraryW was not called
  EXPECT_EQ(cache.EntryCountForTesting(), before);
}

std::wstring SystemFolder() {
  wchar_t system[MAX_PATH] = {};
  ::GetSystemDirectoryW(system, MAX_PATH);
  return system;
}

std::wstring ProgramFolder() {
  wchar_t program[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, program, MAX_PATH);
  const std::wstring path = program;
  return path.substr(0, path.find_last_of(L'\\') + 1);
}

// A failed load is not remembered: once the library appears in the system
// folder, it loads.
TEST(SystemLibraryCacheTest, FailedLoadIsTriedAgain) {
  auto& cache = platform::SystemLibraryCache::Instance();
  const std::wstring name = L"varo_late_" + std::to_wstring(::GetCurrentProcessId()) + L".dll";
  const std::wstring installed = SystemFolder() + L"\\" + name;
  const size_t before = cache.EntryCountForTesting();
  EXPECT_EQ(cache.GetLibrary(name), nullptr);
  EXPECT_EQ(cache.GetLibrary(name), nullptr);
  EXPECT_EQ(cache.EntryCountForTesting(), before);

  ASSERT_TRUE(::CopyFileW((SystemFolder() + L"\\version.dll").c_str(), installed.c_str(), FALSE));
  const HMODULE module = cache.GetLibrary(name);
  EXPECT_NE(module, nullptr);
  EXPECT_EQ(cache.EntryCountForTesting(), before + 1);
  // The cache never frees; the test does, so that the copy can go.
  ::FreeLibrary(module);
  ::DeleteFileW(installed.c_str());
}

// Catches a load that searches the program's own folder, where anyone who
// can copy the program can plant a library, or that follows a path.
TEST(SystemLibraryCacheTest, LoadsFromTheSystemFolderOnly) {
  auto& cache = platform::SystemLibraryCache::Instance();
  const std::wstring name = L"varo_planted_" + std::to_wstring(::GetCurrentProcessId()) + L".dll";
  const std::wstring planted = ProgramFolder() + name;
  ASSERT_TRUE(::CopyFileW((SystemFolder() + L"\\version.dll").c_str(), planted.c_str(), FALSE));
  const size_t before = cache.EntryCountForTesting();

  EXPECT_EQ(cache.GetLibrary(name), nullptr);
  EXPECT_EQ(cache.GetLibrary(planted), nullptr);
  EXPECT_EQ(::GetModuleHandleW(planted.c_str()), nullptr);
  EXPECT_EQ(cache.EntryCountForTesting(), before);
  ::DeleteFileW(planted.c_str());
}

}  // namespace
