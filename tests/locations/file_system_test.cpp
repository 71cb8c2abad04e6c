#include "locations/file_system.h"

#include <gtest/gtest.h>

#include "tests/support/temp_folder.h"

namespace {

class FileSystemTest : public ::testing::Test {
 protected:
  TempFolder temp_;
};

// Catches a folder taken for a file (or the reverse) and quotes not stripped.
TEST_F(FileSystemTest, ExistenceTestsTellFilesFromFolders) {
  const std::wstring file = temp_.WriteFile(L"a.dll", "x");
  EXPECT_TRUE(FileSystem::Exists(file));
  EXPECT_TRUE(FileSystem::IsFile(file));
  EXPECT_FALSE(FileSystem::IsDirectory(file));
  // A trailing separator after a file name: still the file for these two.
  EXPECT_TRUE(FileSystem::IsFile(file + L"\\"));
  EXPECT_FALSE(FileSystem::IsDirectory(file + L"\\"));
  EXPECT_TRUE(FileSystem::IsFile(L"\"" + file + L"\""));

  EXPECT_TRUE(FileSystem::IsDirectory(temp_.Path()));
  EXPECT_FALSE(FileSystem::IsFile(temp_.Path()));
  EXPECT_FALSE(FileSystem::Exists(temp_.Path(L"missing.dll")));
  EXPECT_FALSE(FileSystem::Exists(L""));
  EXPECT_FALSE(FileSystem::IsFile(L""));
  EXPECT_FALSE(FileSystem::IsDirectory(L""));
}

// Catches missing parents left uncreated and a file accepted as a folder.
TEST_F(FileSystemTest, CreateDirectoryTreeMakesMissingParents) {
  const std::wstring deep = temp_.Path(L"one\\two/three\\");
  EXPECT_TRUE(FileSystem::CreateDirectoryTree(deep));
  EXPECT_TRUE(FileSystem::IsDirectory(temp_.Path(L"one\\two\\three")));
  EXPECT_TRUE(FileSystem::CreateDirectoryTree(deep));  // already there
  EXPECT_FALSE(FileSystem::CreateDirectoryTree(L""));

  // A file standing where a folder should be cannot become one.
  temp_.WriteFile(L"blocker", "x");
  EXPECT_FALSE(FileSystem::CreateDirectoryTree(temp_.Path(L"blocker\\sub")));
}

// Catches a read-only side file that could never be consumed.
TEST_F(FileSystemTest, RemoveFileClearsReadOnly) {
  const std::wstring file = temp_.WriteFile(L"ro.ini", "x");
  ASSERT_TRUE(::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(FileSystem::RemoveFile(file));
  EXPECT_FALSE(FileSystem::Exists(file));
  EXPECT_FALSE(FileSystem::RemoveFile(file));
}

// A file that cannot be deleted (held open without delete sharing) must get
// its read-only attribute back.
TEST_F(FileSystemTest, FailedRemoveRestoresAttributes) {
  const std::wstring file = temp_.WriteFile(L"held.ini", "x");
  ASSERT_TRUE(::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
  platform::UniqueFileHandle holder(
      ::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(holder);
  EXPECT_FALSE(FileSystem::RemoveFile(file));
  EXPECT_NE(FileSystem::GetAttributes(file) & FILE_ATTRIBUTE_READONLY, 0u);
  holder.Reset();
  EXPECT_TRUE(FileSystem::RemoveFile(file));
}

// Catches a whole attribute change refused over one bit the system rejects.
TEST_F(FileSystemTest, SetAttributesDropsBitsTheSystemRefuses) {
  const std::wstring file = temp_.WriteFile(L"attr.dll", "x");
  EXPECT_TRUE(FileSystem::SetAttributes(file, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY));
  const DWORD attributes = FileSystem::GetAttributes(file);
  EXPECT_NE(attributes & FILE_ATTRIBUTE_HIDDEN, 0u);
  EXPECT_EQ(attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);

  WIN32_FILE_ATTRIBUTE_DATA data{};
  ASSERT_TRUE(FileSystem::GetAttributesEx(file, data));
  EXPECT_EQ(data.nFileSizeLow, 1u);
}

// Paths longer than MAX_PATH only work in the "\\?\" form: the retry is what
// makes them reachable at all.
TEST_F(FileSystemTest, LongPathsWorkThroughTheRetry) {
  std::wstring deep = temp_.Path();
  for (int i = 0; i < 6; ++i) deep += std::wstring(50, static_cast<wchar_t>(L'a' + i)) + L"\\";
  ASSERT_GT(deep.size(), static_cast<size_t>(MAX_PATH));
  ASSERT_TRUE(FileSystem::CreateDirectoryTree(deep));
  const std::wstring file = deep + L"file.bin";
  {
    platform::UniqueFileHandle handle = FileSystem::OpenFile(file, GENERIC_WRITE, 0, CREATE_ALWAYS, 0);
    ASSERT_TRUE(handle);
  }
  EXPECT_TRUE(FileSystem::IsFile(file));
  EXPECT_TRUE(FileSystem::OpenForRead(file));
  EXPECT_TRUE(FileSystem::RemoveFile(file));
  EXPECT_FALSE(FileSystem::Exists(file));
}

// Catches a read handle that lets others write the file meanwhile.
TEST_F(FileSystemTest, OpenForReadSharesOnlyReading) {
  const std::wstring file = temp_.WriteFile(L"shared.dll", "x");
  platform::UniqueFileHandle reader = FileSystem::OpenForRead(file);
  ASSERT_TRUE(reader);
  EXPECT_TRUE(FileSystem::OpenForRead(file));
  EXPECT_FALSE(FileSystem::OpenFile(file, GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING, 0));
  EXPECT_FALSE(FileSystem::OpenForRead(temp_.Path(L"missing.dll")));
}

}  // namespace
