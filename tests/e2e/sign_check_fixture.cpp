#include "tests/e2e/sign_check_fixture.h"

#include "locations/product_layout.h"
#include "platform/file_system.h"
#include "tests/support/child_process.h"

namespace {

std::wstring Environment(const wchar_t* name) {
  wchar_t value[1024] = {};
  const DWORD length = ::GetEnvironmentVariableW(name, value, 1024);
  return length < 1024 ? value : L"";
}

std::wstring FromUtf8(const std::vector<uint8_t>& bytes) {
  if (bytes.empty()) return {};
  const auto* data = reinterpret_cast<const char*>(bytes.data());
  const int size = static_cast<int>(bytes.size());
  const int units = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, data, size, nullptr, 0);
  std::wstring text(static_cast<size_t>(units), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, data, size, text.data(), units);
  return text;
}

}  // namespace

std::wstring FullPath(const std::wstring& path) {
  wchar_t full[MAX_PATH * 2] = {};
  const DWORD length = ::GetFullPathNameW(path.c_str(), MAX_PATH * 2, full, nullptr);
  return length > 0 && length < MAX_PATH * 2 ? full : path;
}

void SignCheckTest::SetUp() {
  artifacts_ = Environment(L"VARO_E2E");
  tool_ = Environment(L"VARO_LAUNCHERS") + L"\\VaroSignCheck.exe";
  ASSERT_FALSE(artifacts_.empty()) << "VARO_E2E is not set";
  ASSERT_TRUE(FileSystem::IsFile(tool_)) << ::testing::PrintToString(tool_);
  ASSERT_TRUE(FileSystem::CreateDirectoryTree(temp_.Path(L"AppData\\VaroPic")));
  ASSERT_TRUE(registry_.RedirectAppData(temp_.Path(L"AppData")));
  for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
    ASSERT_TRUE(registry_.Remove(HKEY_LOCAL_MACHINE, view, L"SOFTWARE\\VaroPic", L"Path"));
  }
}

std::wstring SignCheckTest::CacheFile() const {
  return temp_.Path(L"AppData\\VaroPic\\") + product_layout::kCacheFileName;
}

std::wstring SignCheckTest::CopyOf(const std::wstring& from, const std::wstring& name) const {
  const std::wstring to = temp_.Path(name);
  FileSystem::CreateDirectoryTree(to.substr(0, to.find_last_of(L'\\')));
  EXPECT_TRUE(::CopyFileW(from.c_str(), to.c_str(), FALSE)) << ::testing::PrintToString(to);
  return to;
}

ToolRun SignCheckTest::Run(const std::wstring& arguments) {
  // Fresh names each run: Wine may close an ended child's handles a moment
  // after the process has signalled its end.
  const std::wstring runNumber = std::to_wstring(++runs_);
  const std::wstring outPath = temp_.Path(L"out" + runNumber + L".txt");
  const std::wstring errPath = temp_.Path(L"err" + runNumber + L".txt");
  ToolRun run;
  const auto process = StartProcess(tool_, arguments, outPath, errPath);
  if (!process) {
    ADD_FAILURE() << "cannot start the tool";
    return run;
  }
  run.exitCode = WaitForExit(process, kRunTimeout);
  run.out = FromUtf8(ReadWholeFile(outPath));
  run.err = FromUtf8(ReadWholeFile(errPath));
  return run;
}

JsonValue SignCheckTest::RunJson(const std::wstring& arguments, DWORD exitCode) {
  const ToolRun run = Run(arguments);
  EXPECT_EQ(run.exitCode, exitCode) << ::testing::PrintToString(arguments) << "\n" << ::testing::PrintToString(run.err);
  JsonValue document;
  size_t errorOffset = 0;
  EXPECT_TRUE(ParseJson(run.out, document, errorOffset))
      << "not JSON at " << errorOffset << ": " << ::testing::PrintToString(run.out);
  return document;
}

std::optional<JsonValue> SignCheckTest::CachedRecord(const JsonValue& show, const std::wstring& path) const {
  for (const JsonValue& record : show[L"records"].items) {
    if (record[L"path"].text == path) return record;
  }
  return std::nullopt;
}
