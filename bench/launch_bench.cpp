// Time from process start to the application entry call: the baseline
// loader, and the launcher with a cold cache and with warm caches of 10 and
// 5,242 records (the most a cache file can hold and still be read). Rounds
// run every case once in turn, so that a busy machine slows all cases alike.
// Usage (paths as Windows sees them):
//   launch_bench LAUNCHER BASELINE_LOADER CACHE_FILE RUNS
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "cache/cache_file.h"
#include "platform/unique_handle.h"
#include "platform/win.h"

namespace {

bool RunOnce(const std::wstring& program) {
  std::wstring commandLine = L"\"" + program + L"\"";
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

// Milliseconds from the line the timing module appended; negative when none.
double ReadTiming(const std::wstring& file) {
  std::ifstream in(file.c_str());
  long long microseconds = -1;
  return in >> microseconds ? microseconds / 1000.0 : -1;
}

std::vector<uint8_t> ReadBytes(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteBytes(const std::wstring& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

// The cache file the launcher wrote for its own files, filled up to `count`
// records with entries for files that no launch asks about.
std::vector<uint8_t> CacheFileOf(const std::vector<CacheEntry>& own, size_t count, const std::wstring& scratch) {
  std::vector<CacheEntry> entries = own;
  for (size_t i = 0; entries.size() < count; ++i) {
    CacheEntry& filler = entries.emplace_back();
    filler.path = L"C:\\Program Files\\VaroOther\\Plugins\\2.4.1.907\\plugin-" + std::to_wstring(i) + L".dll";
    filler.signer = L"Harbor Varo Network Software Co.,Ltd";
    filler.size = 100000 + i;
    filler.lastWriteTime = 0x01D9ABCDEF012345ull + i;
    filler.creationTime = 0x01D9ABCDEF000000ull;
    filler.verdict = platform::SignatureVerdict::Valid;
  }
  if (!WriteCacheFile(scratch, entries)) return {};
  std::vector<uint8_t> bytes = ReadBytes(scratch);
  ::DeleteFileW(scratch.c_str());
  return bytes;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 5) {
    std::fputs("usage: launch_bench LAUNCHER BASELINE_LOADER CACHE_FILE RUNS\n", stderr);
    return 2;
  }
  const std::wstring launcher = argv[1], baseline = argv[2], cacheFile = argv[3];
  const int runs = std::max(1, static_cast<int>(std::wcstol(argv[4], nullptr, 10)));
  wchar_t temp[MAX_PATH + 1] = {};
  ::GetTempPathW(MAX_PATH, temp);
  const std::wstring timings = std::wstring(temp) + L"varo-launch-timings.txt";
  ::SetEnvironmentVariableW(L"VARO_LAUNCH_TIMING", timings.c_str());

  // One launch with a cold cache records the launcher's own files.
  ::DeleteFileW(cacheFile.c_str());
  if (!RunOnce(launcher)) return 1;
  std::vector<CacheEntry> own;
  bool corrupt = false;
  if (!ReadCacheFile(cacheFile, own, corrupt) || own.empty()) {
    std::fputs("the launcher wrote no cache file\n", stderr);
    return 1;
  }

  struct Case {
    const char* name;
    const std::wstring& program;
    std::vector<uint8_t> cache;  // written before each run; none: no cache file
    std::vector<double> milliseconds;
  };
  const std::wstring scratch = std::wstring(temp) + L"varo-launch-bench-cache.dat";
  Case cases[] = {{"baseline loader", baseline, {}, {}},
                  {"launcher, cold cache", launcher, {}, {}},
                  {"launcher, 10 records", launcher, CacheFileOf(own, 10, scratch), {}},
                  {"launcher, 5242 records", launcher, CacheFileOf(own, 5242, scratch), {}}};
  if (cases[2].cache.empty() || cases[3].cache.size() != 5242012) {
    std::fputs("could not prepare the cache files\n", stderr);
    return 1;
  }

  for (int round = -1; round < runs; ++round) {  // round -1 warms Wine and the file cache
    for (Case& c : cases) {
      ::DeleteFileW(cacheFile.c_str());
      if (!c.cache.empty() && !WriteBytes(cacheFile, c.cache)) return 1;
      ::DeleteFileW(timings.c_str());
      if (!RunOnce(c.program)) return 1;
      const double took = ReadTiming(timings);
      if (took < 0) {
        std::fprintf(stderr, "%s: no timing recorded\n", c.name);
        return 1;
      }
      if (round >= 0) c.milliseconds.push_back(took);
    }
  }
  ::DeleteFileW(timings.c_str());

  const double base = Median(cases[0].milliseconds);
  std::printf("process start to entry call, median of %d runs each:\n", runs);
  for (const Case& c : cases) {
    const double median = Median(c.milliseconds);
    std::printf("  %-24s %7.1f ms  %5.2fx baseline\n", c.name, median, base > 0 ? median / base : 0);
  }
  return 0;
}
