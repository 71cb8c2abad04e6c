// Application module for the launch benchmark: its entry appends the time
// since its process started, in microseconds, to the file named by
// VARO_LAUNCH_TIMING.
#include <string>

#include "platform/unique_handle.h"
#include "platform/win.h"

namespace {

uint64_t AsNumber(const FILETIME& time) { return uint64_t{time.dwHighDateTime} << 32 | time.dwLowDateTime; }

}  // namespace

extern "C" int WINAPI ImageViewerMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  FILETIME now{}, created{}, exited{}, kernel{}, user{};
  ::GetSystemTimePreciseAsFileTime(&now);
  if (!::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user)) return 1;
  const std::string line = std::to_string((AsNumber(now) - AsNumber(created)) / 10) + "\n";

  wchar_t path[MAX_PATH + 1] = {};
  if (::GetEnvironmentVariableW(L"VARO_LAUNCH_TIMING", path, MAX_PATH) == 0) return 1;
  platform::UniqueFileHandle file(
      ::CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return file && ::WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) ? 0 : 1;
}
