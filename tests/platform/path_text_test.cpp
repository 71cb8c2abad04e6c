#include "platform/path_text.h"

#include <gtest/gtest.h>

namespace {

// Wrong absolute-name detection would let a relative name escape its folder
// or glue an absolute one under it.
TEST(PathTextTest, JoinKeepsAbsoluteNamesAndDropsExtraSeparators) {
  EXPECT_EQ(PathText::Join(L"C:\\a\\", L"\\b.dll"), L"C:\\a\\b.dll");
  EXPECT_EQ(PathText::Join(L"C:\\a", L"D:\\b.dll"), L"D:\\b.dll");
  EXPECT_EQ(PathText::Join(L"C:\\a", L"\\\\server\\share\\b.dll"), L"\\\\server\\share\\b.dll");
  EXPECT_EQ(PathText::Join(L"", L"b.dll"), L"b.dll");
  EXPECT_EQ(PathText::Join(L"\"C:\\a b\"", L"b.dll"), L"C:\\a b\\b.dll");
  EXPECT_EQ(PathText::Join(L"C:\\a//", L"\"b.dll\""), L"C:\\a\\b.dll");
  // "D:b.dll" is drive-relative, not absolute: it stays under the folder.
  EXPECT_EQ(PathText::Join(L"C:\\a", L"D:b.dll"), L"C:\\a\\D:b.dll");
}

// Catches options applied in the wrong order or a separator added to empty text.
TEST(PathTextTest, NormalizeAppliesOptionsInOrder) {
  std::wstring path = L"C:\\a//";
  PathText::Normalize(path, PathText::OneTrailingSeparator);
  EXPECT_EQ(path, L"C:\\a\\");

  std::wstring empty;
  PathText::Normalize(empty, PathText::OneTrailingSeparator);
  EXPECT_EQ(empty, L"");

  std::wstring quoted = L"\"'C:\\a\\'\"";
  PathText::Normalize(quoted, PathText::StripQuotes | PathText::NoTrailingSeparator);
  EXPECT_EQ(quoted, L"C:\\a");

  std::wstring lone = L"\"";
  PathText::Normalize(lone, PathText::StripQuotes);
  EXPECT_EQ(lone, L"\"");
}

// Catches a share's path without a long form (long roaming folders on a
// share would be out of reach) or given the drive form, which names nothing,
// and a prefix put on relative or already prefixed paths.
TEST(PathTextTest, LongPathFormForDriveAndSharePaths) {
  struct Row {
    const wchar_t* path;
    const wchar_t* longForm;  // null: none, the path comes back unchanged
  };
  const Row rows[] = {
      {L"c:\\x", L"\\\\?\\c:\\x"},
      {L"\\\\server\\share\\x", L"\\\\?\\UNC\\server\\share\\x"},
      {L"\\\\?\\c:\\x", nullptr},
      {L"\\\\.\\pipe\\x", nullptr},
      {L"relative\\x", nullptr},
      {L"c:", nullptr},
      {L"1:\\x", nullptr},
  };
  for (const Row& row : rows) {
    std::wstring out;
    EXPECT_EQ(PathText::LongPathForm(row.path, out), row.longForm != nullptr) << row.path;
    EXPECT_EQ(out, row.longForm ? row.longForm : row.path) << row.path;
  }
}

// Catches a folder part without its separator, or a name that keeps one,
// for either separator and for a bare name.
TEST(PathTextTest, FolderAndNameParts) {
  const struct {
    const wchar_t* path;
    const wchar_t* folder;
  } cases[] = {{L"C:\\a\\c.dll", L"C:\\a\\"}, {L"C:/a/c.dll", L"C:/a/"}, {L"c.dll", L""}, {L"C:\\a\\", L"C:\\a\\"}};
  for (const auto& c : cases) {
    EXPECT_EQ(PathText::FolderPart(c.path), c.folder);
    EXPECT_EQ(PathText::FolderPart(c.path) + PathText::NamePart(c.path), c.path);
  }
}

// Catches a lost file-part index and a path cut at the first buffer's size.
TEST(PathTextTest, FullPathAndDirectoryOf) {
  std::wstring full;
  size_t filePart = 0;
  ASSERT_TRUE(PathText::FullPath(L"C:\\a\\b\\..\\c.dll", full, filePart));
  EXPECT_EQ(full, L"C:\\a\\c.dll");
  EXPECT_EQ(filePart, 5u);

  std::wstring directory;
  ASSERT_TRUE(PathText::DirectoryOf(L"C:\\a\\c.dll", directory));
  EXPECT_EQ(directory, L"C:\\a\\");
  ASSERT_TRUE(PathText::DirectoryOf(L"C:\\a\\", directory));
  EXPECT_EQ(directory, L"C:\\a\\");

  // Longer than the first buffer: the second call must take over.
  const std::wstring deep = L"C:\\" + std::wstring(300, L'x') + L"\\y.dll";
  ASSERT_TRUE(PathText::FullPath(deep, full, filePart));
  EXPECT_EQ(full, deep);
  EXPECT_EQ(full.substr(filePart), L"y.dll");
}

// Catches an off-by-one index and a "found" answer for empty input.
TEST(PathTextTest, FindLastOfAndToLower) {
  EXPECT_EQ(PathText::FindLastOf(L"a\\b/c", L"\\/"), 3);
  EXPECT_EQ(PathText::FindLastOf(L"abc", L"\\/"), -1);
  EXPECT_EQ(PathText::FindLastOf(L"", L"\\"), -1);
  EXPECT_EQ(PathText::FindLastOf(L"a\\", L""), -1);
  EXPECT_EQ(PathText::ToLower(L"C:\\DIR\\A.DLL"), L"c:\\dir\\a.dll");
}

}  // namespace
