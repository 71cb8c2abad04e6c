// A library that only says that it was loaded: its start-up code creates
// "<its file name>.loaded" in the folder named by VARO_TEST_MARKERS. Planted
// under the names of system and run-time libraries, or of a library that an
// application module imports (it exports what those import), it shows
// whether a launcher ran code that it should have refused.
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
  platform::UniqueFileHandle file(
      ::CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  return TRUE;
}

extern "C" __declspec(dllexport) int WINAPI VaroTestHelper() { return 7; }
