// VaroSignCheck.exe run as a person runs it, its output redirected to files,
// with a roaming application-data folder of the test's own (so the cache file
// it uses is the test's) and no recorded install path.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tests/support/json_value.h"
#include "tests/support/registry_changes.h"
#include "tests/support/temp_folder.h"

// How long a run of the tool or a launcher may take before the test gives
// up on it.
constexpr DWORD kRunTimeout = 60000;

struct ToolRun {
  DWORD exitCode = STILL_ACTIVE;
  std::wstring out;
  std::wstring err;
};

// The path as the tool names it: full, with backslashes.
std::wstring FullPath(const std::wstring& path);

class SignCheckTest : public ::testing::Test {
 protected:
  void SetUp() override;

  std::wstring Artifact(const std::wstring& name) const { return artifacts_ + L"\\" + name; }
  std::wstring SignedLauncher() const { return Artifact(L"signed\\VaroPicViewer.exe"); }
  std::wstring CacheFile() const;

  // A copy of `from` in the temp folder, so that the test may change it.
  std::wstring CopyOf(const std::wstring& from, const std::wstring& name) const;

  ToolRun Run(const std::wstring& arguments);

  // Runs the tool, expects `exitCode` and one JSON document on stdout.
  JsonValue RunJson(const std::wstring& arguments, DWORD exitCode);

  // The cache show record of `path`; nothing when there is none.
  std::optional<JsonValue> CachedRecord(const JsonValue& show, const std::wstring& path) const;

  TempFolder temp_;
  RegistryChanges registry_;
  std::wstring artifacts_;
  std::wstring tool_;
  int runs_ = 0;
};
