// Stands in for shell32.dll in tests of a launcher under the system account,
// which Wine cannot run: the roaming folder reported depends on the calling
// thread's identity, as it does for such a launcher. Its own (process) token
// gets the folder in VARO_STANDIN_SYSTEM_APPDATA; an impersonating thread
// gets the one in VARO_STANDIN_USER_APPDATA. With VARO_STANDIN_NO_FOLDER set
// the shell names no folder at all. Its ShellExecuteW starts programs directly.
#include <cstring>
#include <string>

#include "platform/unique_handle.h"
#include "platform/win.h"

#include <objbase.h>

namespace {

constexpr int kCsidlAppData = 0x1A;
constexpr unsigned char kAsProcess = 1;
constexpr unsigned char kAsThread = 2;

bool ThreadImpersonates() {
  HANDLE opened = nullptr;
  if (!::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, &opened)) return false;
  platform::UniqueKernelHandle token(opened);
  return true;
}

bool IsSet(const wchar_t* variable) { return ::GetEnvironmentVariableW(variable, nullptr, 0) != 0; }

}  // namespace

// The item list is two bytes of our own: a marker of whose folder it names.
extern "C" HRESULT WINAPI SHGetSpecialFolderLocation(HWND, int folder, void** list) {
  *list = nullptr;
  if (folder != kCsidlAppData) return E_INVALIDARG;
  if (IsSet(L"VARO_STANDIN_NO_FOLDER")) return E_FAIL;
  auto* marker = static_cast<unsigned char*>(::CoTaskMemAlloc(2));
  if (marker == nullptr) return E_OUTOFMEMORY;
  marker[0] = ThreadImpersonates() ? kAsThread : kAsProcess;
  marker[1] = 0;
  *list = marker;
  return S_OK;
}

// Like the real one, the caller's buffer is taken to hold MAX_PATH units.
extern "C" BOOL WINAPI SHGetPathFromIDListW(const void* list, wchar_t* path) {
  const auto* marker = static_cast<const unsigned char*>(list);
  if (marker == nullptr || (marker[0] != kAsProcess && marker[0] != kAsThread)) return FALSE;
  const wchar_t* variable = marker[0] == kAsThread ? L"VARO_STANDIN_USER_APPDATA" : L"VARO_STANDIN_SYSTEM_APPDATA";
  const DWORD length = ::GetEnvironmentVariableW(variable, path, MAX_PATH);
  return length != 0 && length < MAX_PATH;
}

// Starts a program as the real shell's "open" does, so that a test can see
// whether the code under test starts one at all.
extern "C" HINSTANCE WINAPI ShellExecuteW(HWND, const wchar_t*, const wchar_t* file, const wchar_t* parameters,
                                          const wchar_t*, int) {
  constexpr INT_PTR kStarted = 42;
  constexpr INT_PTR kNotFound = 2;  // SE_ERR_FNF
  if (file == nullptr) return reinterpret_cast<HINSTANCE>(kNotFound);
  std::wstring commandLine = std::wstring(L"\"") + file + L"\"";
  if (parameters != nullptr) commandLine += std::wstring(L" ") + parameters;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(file, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    return reinterpret_cast<HINSTANCE>(kNotFound);
  }
  platform::UniqueKernelHandle process(info.hProcess);
  platform::UniqueKernelHandle thread(info.hThread);
  return reinterpret_cast<HINSTANCE>(kStarted);
}
