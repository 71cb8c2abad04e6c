#include "image/module_file.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/mapped_file_name.h"
#include "platform/module_file_name.h"
#include "tests/support/temp_folder.h"

// This program's own image and file. Wine names a mapped file by the name it
// had when it was mapped; Windows follows renames. The name the system would
// give after a rename is injected to see both answers.

namespace {

std::wstring FinalPath(const std::wstring& path, DWORD volumeForm) {
  const platform::UniqueFileHandle file(
      ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, 0, nullptr));
  std::vector<wchar_t> buffer(32768, L'\0');
  const DWORD length = ::GetFinalPathNameByHandleW(file.Get(), buffer.data(), 32768, volumeForm);
  return std::wstring(buffer.data(), length);
}

class ModuleFileTest : public ::testing::Test {
 protected:
  void TearDown() override { platform::SetMappedFileNameForTesting(nullptr); }
  TempFolder temp_;
};

// Catches a held file taken for the running image whatever the system says
// the image's file is now, and a name comparison that minds the case of
// letters or the form (Windows' volume device, Wine's DOS device) the system
// gives it in.
TEST_F(ModuleFileTest, HeldFileMustBeWhatTheSystemNamesTheMappedFile) {
  const std::wstring own = platform::ModuleFileName(nullptr);
  const std::wstring other = temp_.WriteFile(L"other.exe", "MZ");
  const std::wstring ntName = FinalPath(own, VOLUME_NAME_NT);
  std::wstring shouted = ntName;
  for (wchar_t& c : shouted) c = static_cast<wchar_t>(std::towupper(c));
  struct Case {
    const wchar_t* what;
    std::optional<std::wstring> mappedName;  // nothing: the system's own answer
    bool matches;
  };
  const Case cases[] = {
      {L"the system's own answer", std::nullopt, true},
      {L"no name from a system that has the function", L"", false},
      {L"the volume device form", ntName, true},
      {L"the volume device form in capitals", shouted, true},
      {L"the DOS device form", L"\\??\\" + FinalPath(own, VOLUME_NAME_DOS).substr(4), true},
      {L"another file, after a rename", L"\\??\\" + FinalPath(other, VOLUME_NAME_DOS).substr(4), false},
      {L"another file on the volume device", FinalPath(other, VOLUME_NAME_NT), false},
  };
  const ModuleFile file = ModuleFile::Pin(nullptr);
  ASSERT_TRUE(file.IsPinned());
  EXPECT_FALSE(file.MappedSigned());
  for (const Case& c : cases) {
    platform::SetMappedFileNameForTesting(c.mappedName ? c.mappedName->c_str() : nullptr);
    EXPECT_EQ(file.MatchesMapping(), c.matches) << ::testing::PrintToString(std::wstring(c.what));
  }
}

}  // namespace
