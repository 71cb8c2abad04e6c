// Stands in for shell32.dll where Wine's own cannot answer as Windows does:
// for a launcher under the system account, which Wine cannot run, the
// roaming folder reported depends on the calling thread's identity. Its own
// (process) token gets the folder in VARO_STANDIN_PROCESS_APPDATA; an
// impersonating thread gets the one in VARO_STANDIN_USER_APPDATA. With
// VARO_STANDIN_NO_FOLDER set the shell names no folder at all. And like
// Windows, but unlike Wine, it names folders beyond MAX_PATH through
// SHGetKnownFolderPath. Each folder query adds one to
// VARO_STANDIN_FOLDER_QUERIES. Its ShellExecuteW starts programs directly.
#include <string>

#include "platform/unique_handle.h"
#include "platform/win.h"

#include <knownfolders.h>
#include <objbase.h>

namespace {

// The shell's own header would declare the functions below as imported.
constexpr int kCsidlAppData = 0x1A;

bool ThreadImpersonates() {
  HANDLE opened = nullptr;
  if (!::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, &opened)) return false;
  platform::UniqueKernelHandle token(opened);
  return true;
}

std::wstring Variable(const wchar_t* name) {
  const DWORD size = ::GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) return {};
  std::wstring value(size, L'\0');
  value.resize(::GetEnvironmentVariableW(name, value.data(), size));
  return value;
}

void CountQuery() {
  const std::wstring count = Variable(L"VARO_STANDIN_FOLDER_QUERIES");
  const int next = (count.empty() ? 0 : std::stoi(count)) + 1;
  ::SetEnvironmentVariableW(L"VARO_STANDIN_FOLDER_QUERIES", std::to_wstring(next).c_str());
}

// The roaming folder for the calling thread's identity; empty for none.
std::wstring RoamingFolder() {
  CountQuery();
  if (!Variable(L"VARO_STANDIN_NO_FOLDER").empty()) return {};
  return Variable(ThreadImpersonates() ? L"VARO_STANDIN_USER_APPDATA" : L"VARO_STANDIN_PROCESS_APPDATA");
}

}  // namespace

extern "C" HRESULT WINAPI SHGetFolderPathW(HWND, int folder, HANDLE, DWORD, wchar_t* path) {
  path[0] = L'\0';
  if ((folder & 0xFF) != kCsidlAppData) return E_INVALIDARG;
  const std::wstring found = RoamingFolder();
  if (found.empty() || found.size() >= MAX_PATH) return E_FAIL;
  found.copy(path, found.size());
  path[found.size()] = L'\0';
  return S_OK;
}

extern "C" HRESULT WINAPI SHGetKnownFolderPath(REFGUID id, DWORD, HANDLE, wchar_t** path) {
  *path = nullptr;
  if (id != FOLDERID_RoamingAppData) return E_INVALIDARG;
  const std::wstring found = RoamingFolder();
  if (found.empty()) return E_FAIL;
  *path = static_cast<wchar_t*>(::CoTaskMemAlloc((found.size() + 1) * sizeof(wchar_t)));
  if (*path == nullptr) return E_OUTOFMEMORY;
  found.copy(*path, found.size());
  (*path)[found.size()] = L'\0';
  return S_OK;
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
