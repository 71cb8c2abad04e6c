// A stand-in for the product's application module, for trying the launchers
// out: it reports what the launcher handed it, asks the launcher's
// CheckSigner about a few files and how long each answer took, and returns.
#include <cstdio>
#include <string>

#include "platform/get_proc.h"
#include "platform/unique_handle.h"
#include "platform/win.h"
#include "signer/check_signer.h"

namespace {

// Exit codes: 0 when every answer was as expected, 1 when one was not, 2
// when the launcher exports no CheckSigner.
constexpr int kAsExpected = 0;
constexpr int kUnexpectedAnswer = 1;
constexpr int kNoCheckSigner = 2;

HMODULE ThisModule() {
  HMODULE module = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

std::wstring ModulePath(HMODULE module) {
  wchar_t path[MAX_PATH + 1] = {};
  ::GetModuleFileNameW(module, path, MAX_PATH);
  return path;
}

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L"\\/") + 1); }

std::string Utf8(const std::wstring& text) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                         nullptr);
  std::string utf8(size > 0 ? size : 0, '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(), size, nullptr, nullptr);
  return utf8;
}

// The launcher is a GUI program: its report goes to the file named by
// VARO_DEMO_REPORT when set, else to whatever standard output it inherited.
void Report(const std::wstring& line) {
  const std::string text = Utf8(line + L"\n");
  wchar_t reportPath[MAX_PATH + 1] = {};
  platform::UniqueFileHandle report;
  if (::GetEnvironmentVariableW(L"VARO_DEMO_REPORT", reportPath, MAX_PATH) > 0) {
    report.Reset(::CreateFileW(reportPath, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr));
  }
  const HANDLE out = report ? report.Get() : ::GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD written = 0;
  if (out != nullptr && out != INVALID_HANDLE_VALUE) {
    ::WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }
}

bool Ask(CheckSignerFunction checkSigner, const std::wstring& label, const std::wstring& path, bool expected,
         bool showNotice = false) {
  LARGE_INTEGER frequency{}, start{}, end{};
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&start);
  const bool trusted = checkSigner(path.c_str(), nullptr, showNotice);
  ::QueryPerformanceCounter(&end);
  const double milliseconds = 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart;
  wchar_t timing[32] = {};
  std::swprintf(timing, 32, L"%.2f ms", milliseconds);
  Report(L"  CheckSigner(" + label + L") = " + (trusted ? L"trusted" : L"refused") + L" in " + timing);
  return trusted == expected;
}

int RunDemo(const wchar_t* product, LPWSTR commandLine, int showCommand) {
  Report(std::wstring(product) + L" demo module running");
  Report(L"  command line: \"" + std::wstring(commandLine ? commandLine : L"") + L"\", show command " +
         std::to_wstring(showCommand));
  auto checkSigner = platform::GetProc<CheckSignerFunction>(::GetModuleHandleW(nullptr), "CheckSigner");
  if (checkSigner == nullptr) {
    Report(L"  the launcher exports no CheckSigner");
    return kNoCheckSigner;
  }
  const std::wstring self = ModulePath(ThisModule());
  const std::wstring folder = FolderOf(self);
  // The plug-in is checked by nobody else: the first run verifies it, later
  // runs answer from the cache file.
  bool expected = Ask(checkSigner, L"plug-in VaroImagePlugin.dll", folder + L"VaroImagePlugin.dll", true);
  expected = Ask(checkSigner, L"this module", self, true) && expected;
  expected = Ask(checkSigner, L"companion FreeImage.dll", folder + L"FreeImage.dll", true) && expected;
  // With VARO_DEMO_NOTICE set the refusal is shown as the user would see it;
  // the timing then includes the time the box was open.
  const bool showNotice = ::GetEnvironmentVariableW(L"VARO_DEMO_NOTICE", nullptr, 0) > 0;
  expected = Ask(checkSigner, L"changed copy", folder + L"changed-copy.dll", false, showNotice) && expected;
  return expected ? kAsExpected : kUnexpectedAnswer;
}

}  // namespace

extern "C" int WINAPI ImageViewerMain(HINSTANCE, HINSTANCE, LPWSTR commandLine, int showCommand) {
  return RunDemo(L"Picture viewer", commandLine, showCommand);
}

extern "C" int WINAPI PdfReaderMain(HINSTANCE, HINSTANCE, LPWSTR commandLine, int showCommand) {
  return RunDemo(L"PDF reader", commandLine, showCommand);
}
