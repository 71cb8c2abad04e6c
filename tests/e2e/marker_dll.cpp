// A library that only says that it was loaded: its start-up code adds its own
// full path, as a UTF-16 line, to "<its file name>.loaded" in the folder
// named by VARO_TEST_MARKERS. Planted under the names of system and run-time
// libraries, or of a library that an application module imports (it exports
// what those import), it shows whether a launcher ran code that it should
// have refused, and, where copies of one name lie in several folders, which
// of them ran.
//
// Built with VARO_MARKER_RELAY it is a system library that imports another
// one: its VaroTestHelper (exported through marker_relay.def) passes the call
// on to varosystwo.dll's, so a test sees which copy the loader bound to a
// system library's import.
#include <string>

#include "platform/unique_handle.h"
#include "platform/win.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t folder[1024] = {};
  const DWORD length = ::GetEnvironmentVariableW(L"VARO_TEST_MARKERS", folder, 1024);
  if (length == 0 || length >= 1024) return TRUE;
  wchar_t self[1024] = {};
  ::GetModuleFileNameW(instance, self, 1024);
  const std::wstring path = self;
  const std::wstring marker = std::wstring(folder) + L"\\" + path.substr(path.find_last_of(L'\\') + 1) + L".loaded";
  // Appended, not replaced: two copies of one name may both run in a process.
  platform::UniqueFileHandle file(::CreateFileW(marker.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  const std::wstring line = path + L"\n";
  DWORD written = 0;
  if (file) ::WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size() * sizeof(wchar_t)), &written, nullptr);
  return TRUE;
}

#ifdef VARO_MARKER_RELAY
extern "C" __declspec(dllimport) int WINAPI VaroTestHelper();

extern "C" int WINAPI RelayedHelper() { return VaroTestHelper(); }
#else
extern "C" __declspec(dllexport) int WINAPI VaroTestHelper() { return 7; }
#endif
