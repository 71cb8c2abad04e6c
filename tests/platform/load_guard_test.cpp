#include "platform/load_guard.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/system_library.h"

// The load guard's decision about one image path. (That a refused image's
// code never runs is shown end to end, with the real launchers.)

namespace {

std::wstring WindowsFolder() {
  wchar_t folder[MAX_PATH] = {};
  ::GetSystemWindowsDirectoryW(folder, MAX_PATH);
  return folder;
}

// Catches a guard that lets through a user's file dressed as a system one
// (a ".." step out of the system folder, a folder whose name only starts
// like the system's), or stops the system's own libraries in their long or
// NT form, or an admitted product file spelt in other letter case.
TEST(LoadGuardTest, AllowsOnlyAdministratorFoldersAndAdmittedFiles) {
  platform::LoadGuard& guard = platform::LoadGuard::Instance();
  const std::wstring system = platform::SystemDirectory();
  const std::wstring product = L"C:\\users\\someone\\AppData\\Roaming\\VaroPic\\Application\\1.0\\";
  guard.Admit(product + L"helper.dll");
  struct Case {
    std::wstring path;
    bool allowed;
  };
  const Case cases[] = {
      {system + L"\\wintrust.dll", true},
      {L"\\\\?\\" + system + L"\\crypt32.dll", true},
      {L"\\??\\" + system + L"\\crypt32.dll", true},
      {WindowsFolder() + L"\\winsxs\\x\\comctl32.dll", true},
      {product + L"HELPER.DLL", true},
      {product + L"other.dll", false},
      {system + L"\\..\\..\\users\\someone\\evil.dll", false},
      {WindowsFolder() + L"x\\evil.dll", false},
      {WindowsFolder(), false},
      {L"C:\\users\\someone\\Temp\\evil.dll", false},
      {L"\\\\server\\share\\evil.dll", false},
      {L"", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(guard.Allows(c.path), c.allowed) << ::testing::PrintToString(c.path);
  }
}

}  // namespace
