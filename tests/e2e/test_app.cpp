// An application module for the end-to-end tests. It records what the
// launcher handed it into the file named by VARO_TEST_APP_RECORD, asks the
// launcher's CheckSigner about the file named by VARO_TEST_APP_CHECK (if
// any), waits until the named event in VARO_TEST_APP_WAIT (if any) is set,
// and returns the exit code in VARO_TEST_APP_EXIT (3 when unset).
#include <cwchar>
#include <string>

#include "platform/get_proc.h"
#include "platform/unique_handle.h"
#include "platform/win.h"
#include "signer/check_signer.h"

namespace {

std::wstring Environment(const wchar_t* name) {
  wchar_t value[1024] = {};
  const DWORD length = ::GetEnvironmentVariableW(name, value, 1024);
  return length > 0 && length < 1024 ? value : L"";
}

std::wstring CheckSignerAnswer() {
  const std::wstring path = Environment(L"VARO_TEST_APP_CHECK");
  if (path.empty()) return L"";
  auto checkSigner = platform::GetProc<CheckSignerFunction>(::GetModuleHandleW(nullptr), "CheckSigner");
  if (checkSigner == nullptr) return L"check=no-export\n";
  return checkSigner(path.c_str(), nullptr, false) ? L"check=trusted\n" : L"check=refused\n";
}

void Record(const std::wstring& text) {
  const std::wstring path = Environment(L"VARO_TEST_APP_RECORD");
  if (path.empty()) return;
  platform::UniqueFileHandle file(
      ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  // UTF-16LE, so the test reads back exactly what the launcher passed.
  DWORD written = 0;
  if (file) ::WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr);
}

int Run(const wchar_t* entry, HINSTANCE instance, LPWSTR commandLine, int showCommand) {
  Record(std::wstring(L"entry=") + entry + L"\n" + L"commandLine=" + (commandLine ? commandLine : L"") + L"\n" +
         L"show=" + std::to_wstring(showCommand) + L"\n" +
         L"launcherInstance=" + (instance == ::GetModuleHandleW(nullptr) ? L"yes" : L"no") + L"\n" +
         CheckSignerAnswer());
  // The launcher's verifier, with its cache, stays in use meanwhile.
  const std::wstring waitEvent = Environment(L"VARO_TEST_APP_WAIT");
  if (!waitEvent.empty()) {
    platform::UniqueKernelHandle event(::OpenEventW(SYNCHRONIZE, FALSE, waitEvent.c_str()));
    if (event) ::WaitForSingleObject(event.Get(), 60000);
  }
  const std::wstring exitCode = Environment(L"VARO_TEST_APP_EXIT");
  return exitCode.empty() ? 3 : static_cast<int>(std::wcstol(exitCode.c_str(), nullptr, 10));
}

}  // namespace

extern "C" int WINAPI ImageViewerMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int showCommand) {
  return Run(L"ImageViewerMain", instance, commandLine, showCommand);
}

extern "C" int WINAPI PdfReaderMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int showCommand) {
  return Run(L"PdfReaderMain", instance, commandLine, showCommand);
}
