#include "platform/system_library_cache.h"

#include <gtest/gtest.h>

#include "tests/support/temp_folder.h"

namespace {

// Each test runs in a process of its own, so the cache starts empty.

TEST(SystemLibraryCacheTest, NamesDifferingInAsciiCaseShareOneEntry) {
  auto& cache = platform::SystemLibraryCache::Instance();
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
  auto& cache = platform::SystemLibraryCache::Instance();
  ::SetLastError(0xDEADBEEF);
  EXPECT_EQ(cache.GetLibrary(L""), nullptr);
  EXPECT_EQ(::GetLastError(), 0xDEADBEEFu);  // LoadLibraryW was not called
  EXPECT_EQ(cache.EntryCountForTesting(), 0u);
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
  EXPECT_EQ(cache.GetLibrary(name), nullptr);
  EXPECT_EQ(cache.GetLibrary(name), nullptr);
  EXPECT_EQ(cache.EntryCountForTesting(), 0u);

  ASSERT_TRUE(::CopyFileW((SystemFolder() + L"\\version.dll").c_str(), installed.c_str(), FALSE));
  const HMODULE module = cache.GetLibrary(name);
  EXPECT_NE(module, nullptr);
  EXPECT_EQ(cache.EntryCountForTesting(), 1u);
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

  EXPECT_EQ(cache.GetLibrary(name), nullptr);
  EXPECT_EQ(cache.GetLibrary(planted), nullptr);
  EXPECT_EQ(::GetModuleHandleW(planted.c_str()), nullptr);
  EXPECT_EQ(cache.EntryCountForTesting(), 0u);
  ::DeleteFileW(planted.c_str());
}

}  // namespace
