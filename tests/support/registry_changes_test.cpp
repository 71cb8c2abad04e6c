#include "tests/support/registry_changes.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

// Everything below a key of the test's own, under HKCU.
class RegistryChangesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, root_.c_str(), L"kept", REG_EXPAND_SZ, L"%TEMP%\\old",
                                static_cast<DWORD>(sizeof(L"%TEMP%\\old"))),
              ERROR_SUCCESS);
  }
  void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, root_.c_str()); }

  // The value's type and text as stored (not expanded), if there is one.
  std::optional<std::pair<DWORD, std::wstring>> Stored(const std::wstring& subKey, const wchar_t* name) const {
    wchar_t text[64] = {};
    DWORD type = REG_NONE;
    DWORD bytes = sizeof(text);
    if (::RegGetValueW(HKEY_CURRENT_USER, subKey.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &type, text, &bytes) !=
        ERROR_SUCCESS) {
      return std::nullopt;
    }
    return std::pair{type, std::wstring(text)};
  }

  bool KeyExists(const std::wstring& subKey) const {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    ::RegCloseKey(key);
    return true;
  }

  const std::wstring root_ = L"Software\\VaroTest\\registry-changes-" + std::to_wstring(::GetCurrentProcessId());
};

// Catches an undo that deletes a value the test found (as the old install
// path writer did), loses its type, or leaves behind keys it made.
TEST_F(RegistryChangesTest, PutsBackWhatWasThereAndRemovesWhatItMade) {
  const std::wstring made = root_ + L"\\made\\deeper";
  {
    RegistryChanges changes;
    ASSERT_TRUE(changes.SetText(HKEY_CURRENT_USER, 0, root_, L"kept", L"new"));
    ASSERT_TRUE(changes.SetText(HKEY_CURRENT_USER, 0, made, L"fresh", L"value"));
    EXPECT_EQ(Stored(root_, L"kept"), (std::pair<DWORD, std::wstring>{REG_SZ, L"new"}));
    EXPECT_TRUE(KeyExists(made));
  }
  EXPECT_EQ(Stored(root_, L"kept"), (std::pair<DWORD, std::wstring>{REG_EXPAND_SZ, L"%TEMP%\\old"}));
  EXPECT_FALSE(KeyExists(root_ + L"\\made"));
  EXPECT_TRUE(KeyExists(root_));
}

// Catches an undo in the wrong order: after a value is changed twice and
// removed, the first value the test found must come back, not a middle one.
TEST_F(RegistryChangesTest, SeveralChangesOfOneValueUndoToTheFirst) {
  {
    RegistryChanges changes;
    ASSERT_TRUE(changes.SetText(HKEY_CURRENT_USER, 0, root_, L"kept", L"first", REG_EXPAND_SZ));
    ASSERT_TRUE(changes.SetText(HKEY_CURRENT_USER, 0, root_, L"kept", L"second"));
    ASSERT_TRUE(changes.Remove(HKEY_CURRENT_USER, 0, root_, L"kept"));
    EXPECT_EQ(Stored(root_, L"kept"), std::nullopt);
    ASSERT_TRUE(changes.Remove(HKEY_CURRENT_USER, 0, root_, L"never-there"));
  }
  EXPECT_EQ(Stored(root_, L"kept"), (std::pair<DWORD, std::wstring>{REG_EXPAND_SZ, L"%TEMP%\\old"}));
  EXPECT_EQ(Stored(root_, L"never-there"), std::nullopt);
}

}  // namespace
