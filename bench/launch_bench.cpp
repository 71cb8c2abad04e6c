// Time from process start to the application entry call, for the launcher
// with a cold and a warm verification cache and for a minimal launcher that
// only loads the module and calls it. Usage (paths as Windows sees them):
//   launch_bench LAUNCHER MINIMAL_LAUNCHER APP_MODULE CACHE_FILE RUNS
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/unique_handle.h"
#include "platform/win.h"

namespace {

struct Figures {
  double median;
  double mean;
};

bool RunOnce(const std::wstring& program, const std::wstring& arguments) {
  std::wstring commandLine = L"\"" + program + L"\" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info)) {
    return false;
  }
  platform::UniqueKernelHandle process(info.hProcess), thread(info.hThread);
  return ::WaitForSingleObject(process.Get(), 60000) == WAIT_OBJECT_0;
}

// Milliseconds per run, from the lines the timing module appended.
std::vector<double> ReadTimings(const std::wstring& file) {
  std::vector<double> milliseconds;
  std::ifstream in(file.c_str());
  for (long long microseconds = 0; in >> microseconds;) milliseconds.push_back(microseconds / 1000.0);
  return milliseconds;
}

Figures Summarise(std::vector<double> values) {
  if (values.empty()) return {0, 0};
  std::sort(values.begin(), values.end());
  double sum = 0;
  for (double v : values) sum += v;
  return {values[values.size() / 2], sum / values.size()};
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 6) {
    std::fputs("usage: launch_bench LAUNCHER MINIMAL_LAUNCHER APP_MODULE CACHE_FILE RUNS\n", stderr);
    return 2;
  }
  const std::wstring launcher = argv[1], minimal = argv[2], app = argv[3], cacheFile = argv[4];
  const int runs = std::max(1, static_cast<int>(std::wcstol(argv[5], nullptr, 10)));
  wchar_t temp[MAX_PATH + 1] = {};
  ::GetTempPathW(MAX_PATH, temp);
  const std::wstring timings = std::wstring(temp) + L"varo-launch-timings.txt";
  ::SetEnvironmentVariableW(L"VARO_LAUNCH_TIMING", timings.c_str());

  struct Mode {
    const char* name;
    const std::wstring& program;
    std::wstring arguments;
    bool coldCache;
  };
  const Mode modes[] = {{"launcher, cold cache", launcher, L"", true},
                        {"launcher, warm cache", launcher, L"", false},
                        {"minimal launcher", minimal, app, false}};
  std::printf("process start to entry call, %d runs each (median / mean):\n", runs);
  for (const Mode& mode : modes) {
    ::DeleteFileW(timings.c_str());
    RunOnce(mode.program, mode.arguments);  // warm-up: file cache, Wine's own start-up
    ::DeleteFileW(timings.c_str());
    for (int i = 0; i < runs; ++i) {
      if (mode.coldCache) ::DeleteFileW(cacheFile.c_str());
      if (!RunOnce(mode.program, mode.arguments)) return 1;
    }
    const std::vector<double> values = ReadTimings(timings);
    const Figures figures = Summarise(values);
    std::printf("  %-22s %7.1f ms / %7.1f ms  (%zu timed)\n", mode.name, figures.median, figures.mean, values.size());
  }
  ::DeleteFileW(timings.c_str());
  return 0;
}
