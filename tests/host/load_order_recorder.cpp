// Built three times: as the stand-in run-time libraries vcruntime140.dll and
// msvcp140.dll, and as a stand-in application module. Each copy appends to
// the file named by VARO_HOST_ORDER a line when it is loaded ("<file> load")
// and when it goes away: "<file> unload" for FreeLibrary, "<file> exit" at
// process end. A line for going away ends in " cache" when the file named by
// VARO_HOST_CACHE exists at that moment, which shows whether the verifier
// had already written its cache back.
#include <string>

#include "platform/unique_handle.h"
#include "platform/win.h"

namespace {

std::wstring Environment(const wchar_t* name) {
  wchar_t value[1024] = {};
  const DWORD length = ::GetEnvironmentVariableW(name, value, 1024);
  return length > 0 && length < 1024 ? value : L"";
}

void Append(const std::wstring& line) {
  const std::wstring path = Environment(L"VARO_HOST_ORDER");
  if (path.empty()) return;
  platform::UniqueFileHandle file(::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  const std::string bytes(line.begin(), line.end());  // file names here are ASCII
  DWORD written = 0;
  ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

extern "C" __declspec(dllexport) int StandInMain() { return 0; }

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason != DLL_PROCESS_ATTACH && reason != DLL_PROCESS_DETACH) return TRUE;
  wchar_t self[1024] = {};
  ::GetModuleFileNameW(instance, self, 1024);
  const std::wstring path = self;
  std::wstring line = path.substr(path.find_last_of(L'\\') + 1);
  if (reason == DLL_PROCESS_ATTACH) {
    line += L" load";
  } else {
    // A non-null `reserved` on detach means the process is ending.
    line += reserved != nullptr ? L" exit" : L" unload";
    const std::wstring cache = Environment(L"VARO_HOST_CACHE");
    if (!cache.empty() && ::GetFileAttributesW(cache.c_str()) != INVALID_FILE_ATTRIBUTES) line += L" cache";
  }
  Append(line + L"\n");
  return TRUE;
}
