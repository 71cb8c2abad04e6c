// Stands in for a browser or an address handler: records its process id and
// command line in "<own path>.args" (UTF-16) and exits. The record appears
// whole, under its final name, or not at all.
#include <string>

#include "platform/unique_handle.h"
#include "platform/win.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  wchar_t self[MAX_PATH * 4] = {};
  const DWORD length = ::GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
  if (length == 0 || length >= MAX_PATH * 4) return 1;
  const std::wstring record = std::wstring(self) + L".args";
  const std::wstring partial = record + L".partial";

  const std::wstring text = std::to_wstring(::GetCurrentProcessId()) + L"\n" + ::GetCommandLineW();
  {
    platform::UniqueFileHandle file(
        ::CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    const auto size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (!file || !::WriteFile(file.Get(), text.data(), size, &written, nullptr) || written != size) return 1;
  }
  return ::MoveFileW(partial.c_str(), record.c_str()) ? 0 : 1;
}
