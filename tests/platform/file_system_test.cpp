#include "platform/file_system.h"

#include <gtest/gtest.h>

#include "cache/file_stamp.h"
#include "tests/support/child_process.h"
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

// Catches a link followed where a file is opened to be changed: a link made
// from the Linux side, which Wine follows whatever the flags, and a hard link
// (either of the file's two names) are refused, neither deleted nor created
// through, and what they lead to survives; a plain file is opened however
// its folder is spelled.
TEST_F(FileSystemTest, LinksAreRefusedAndWhatTheyLeadToSurvives) {
  const std::wstring target = temp_.WriteFile(L"target.txt", "precious");
  const std::wstring shared = temp_.WriteFile(L"shared.txt", "precious too");
  const LinuxSymlink link(temp_.Path(L"link.txt"), target);
  const LinuxSymlink dangling(temp_.Path(L"dangling.txt"), temp_.Path(L"nowhere.txt"));
  ASSERT_TRUE(link.Made() && dangling.Made());
  ASSERT_TRUE(::CreateHardLinkW(temp_.Path(L"hard.txt").c_str(), shared.c_str(), nullptr));
  for (const wchar_t* name : {L"link.txt", L"hard.txt", L"shared.txt"}) {
    ::SetLastError(0xdeadbeef);
    EXPECT_FALSE(FileSystem::OpenFileRefusingLinks(temp_.Path(name), GENERIC_WRITE, 0, OPEN_EXISTING, 0))
        << ::testing::PrintToString(std::wstring(name));
    EXPECT_EQ(::GetLastError(), FileSystem::kLinkRefusedError) << ::testing::PrintToString(std::wstring(name));
    EXPECT_FALSE(FileSystem::RemoveFile(temp_.Path(name))) << ::testing::PrintToString(std::wstring(name));
  }
  const std::vector<uint8_t> sharedContent = ReadWholeFile(shared);
  EXPECT_EQ(std::string(sharedContent.begin(), sharedContent.end()), "precious too");
  EXPECT_FALSE(FileSystem::OpenFileRefusingLinks(temp_.Path(L"dangling.txt"), GENERIC_WRITE, 0, OPEN_ALWAYS, 0));
  EXPECT_FALSE(FileSystem::Exists(temp_.Path(L"nowhere.txt")));
  const std::vector<uint8_t> content = ReadWholeFile(target);
  EXPECT_EQ(std::string(content.begin(), content.end()), "precious");

  wchar_t shortFolder[MAX_PATH] = {};
  ASSERT_NE(::GetShortPathNameW(temp_.Path().c_str(), shortFolder, MAX_PATH), 0u);
  EXPECT_TRUE(FileSystem::OpenFileRefusingLinks(std::wstring(shortFolder) + L"target.txt", GENERIC_READ, 0,
                                                OPEN_EXISTING, 0));
  EXPECT_TRUE(FileSystem::OpenFileRefusingLinks(temp_.Path(L"new.txt"), GENERIC_WRITE, 0, OPEN_ALWAYS, 0));
  EXPECT_TRUE(FileSystem::IsFile(temp_.Path(L"new.txt")));
}

// Catches a stand-in for the by-handle calls that 64-bit Windows XP lacks
// which misreads a stamp or cannot delete a read-only file.
TEST_F(FileSystemTest, OlderSystemCallsGiveTheSameResults) {
  const std::wstring file = temp_.WriteFile(L"stamped.dll", "content");
  FileStamp byPath, newer, older;
  ASSERT_TRUE(ReadFileStamp(file, byPath));
  {
    const platform::UniqueFileHandle handle = FileSystem::OpenForRead(file);
    ASSERT_TRUE(ReadFileStamp(handle.Get(), newer));
    FileSystem::UseOlderSystemCallsForTesting(true);
    ASSERT_TRUE(ReadFileStamp(handle.Get(), older));
  }
  EXPECT_EQ(newer, byPath);
  EXPECT_EQ(older, byPath);
  EXPECT_EQ(byPath.size, 7u);

  const std::wstring readOnly = temp_.WriteFile(L"ro.ini", "x");
  ASSERT_TRUE(::SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(FileSystem::RemoveFile(readOnly));
  EXPECT_FALSE(FileSystem::Exists(readOnly));
  FileSystem::UseOlderSystemCallsForTesting(false);
}

}  // namespace
