// An application module for the end-to-end tests. It records what the
// launcher handed it, and the file it was itself loaded from, into the file
// named by VARO_TEST_APP_RECORD; with VARO_TEST_APP_GATE set it first creates
// that path followed by ".ready" and waits for the test to create the path
// itself; it asks the launcher's CheckSigner about the file named by
// VARO_TEST_APP_CHECK (if any), with VARO_TEST_APP_NOTICE set first asks
// it, on a thread of its own and with the failure notice, about that file
// (and waits for that thread before it returns), loads the library named by
// VARO_TEST_APP_LOAD
// (if any) by that name, and returns the exit code in VARO_TEST_APP_EXIT (3
// when unset). With VARO_TEST_APP_FAIL_LOAD set it refuses to be loaded (its
// start-up code fails). Built with VARO_TEST_APP_IMPORTS, it calls the marker
// library's export through its import table (linked or delayed), as a module
// with libraries of its own does.
#include <cwchar>
#include <string>

#include "platform/get_proc.h"
#include "platform/unique_handle.h"
#include "platform/win.h"
#include "signer/check_signer.h"

#ifdef VARO_TEST_APP_IMPORTS
extern "C" int WINAPI VaroTestHelper();
#endif

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

std::wstring OwnFile() {
  HMODULE self = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&OwnFile), &self);
  wchar_t path[2048] = {};
  ::GetModuleFileNameW(self, path, 2048);
  return path;
}

// Lets the test change things while the application runs, before it asks
// anything.
void PassGate() {
  const std::wstring gate = Environment(L"VARO_TEST_APP_GATE");
  if (gate.empty()) return;
  platform::UniqueFileHandle ready(::CreateFileW((gate + L".ready").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  for (int i = 0; i < 3000 && ::GetFileAttributesW(gate.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) ::Sleep(10);
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

// A module that loads a library of its own by name once it runs, after the
// launcher's checks are over.
std::wstring LoadAnswer() {
  const std::wstring name = Environment(L"VARO_TEST_APP_LOAD");
  if (name.empty()) return L"";
  return ::LoadLibraryW(name.c_str()) != nullptr ? L"load=yes\n" : L"load=no\n";
}

std::wstring HelperAnswer() {
#ifdef VARO_TEST_APP_IMPORTS
  return L"helper=" + std::to_wstring(VaroTestHelper()) + L"\n";
#else
  return L"";
#endif
}

// Asks CheckSigner about VARO_TEST_APP_NOTICE with the notice, on a thread of
// its own, as an application that checks on several threads does; null when
// there is nothing to ask.
DWORD WINAPI AskWithNotice(void*) {
  const std::wstring path = Environment(L"VARO_TEST_APP_NOTICE");
  auto checkSigner = platform::GetProc<CheckSignerFunction>(::GetModuleHandleW(nullptr), "CheckSigner");
  if (checkSigner != nullptr) checkSigner(path.c_str(), nullptr, true);
  return 0;
}

platform::UniqueKernelHandle StartNoticeThread() {
  if (Environment(L"VARO_TEST_APP_NOTICE").empty()) return {};
  return platform::UniqueKernelHandle(::CreateThread(nullptr, 0, &AskWithNotice, nullptr, 0, nullptr));
}

int Run(const wchar_t* entry, HINSTANCE instance, LPWSTR commandLine, int showCommand) {
  const platform::UniqueKernelHandle notice = StartNoticeThread();
  PassGate();
  Record(std::wstring(L"entry=") + entry + L"\n" + L"commandLine=" + (commandLine ? commandLine : L"") + L"\n" +
         L"show=" + std::to_wstring(showCommand) + L"\n" +
         L"launcherInstance=" + (instance == ::GetModuleHandleW(nullptr) ? L"yes" : L"no") + L"\n" +
         L"module=" + OwnFile() + L"\n" +
         HelperAnswer() + LoadAnswer() + CheckSignerAnswer());
  if (notice) ::WaitForSingleObject(notice.Get(), INFINITE);
  const std::wstring exitCode = Environment(L"VARO_TEST_APP_EXIT");
  return exitCode.empty() ? 3 : static_cast<int>(std::wcstol(exitCode.c_str(), nullptr, 10));
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  return reason != DLL_PROCESS_ATTACH || Environment(L"VARO_TEST_APP_FAIL_LOAD").empty();
}

extern "C" int WINAPI ImageViewerMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int showCommand) {
  return Run(L"ImageViewerMain", instance, commandLine, showCommand);
}

extern "C" int WINAPI PdfReaderMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int showCommand) {
  return Run(L"PdfReaderMain", instance, commandLine, showCommand);
}
