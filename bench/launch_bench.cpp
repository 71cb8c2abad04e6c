// Time from process start to the application entry call: the baseline loader
// (which checks nothing), and the launcher with no cache file (every
// signature checked) and with warm caches of 10 and 5,242 records (the most a
// cache file can hold and still be read).
//
// A shared machine's load drifts by more than the differences measured here,
// so every launcher time is divided by the baseline time of the same round,
// and the figures are the median and spread of those per-round ratios. The
// cases of a round run back to back in an order that changes from round to
// round, and every case starts from the same file-system work.
// Usage (paths as Windows sees them):
//   launch_bench LAUNCHER BASELINE_LOADER CACHE_FILE ROUNDS
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "cache/cache_constants.h"
#include "cache/cache_file.h"
#include "cache/cache_file_record.h"
#include "platform/unique_handle.h"
#include "platform/win.h"

namespace {

constexpr size_t kSmallCacheRecords = 10;
constexpr size_t kLargestCacheRecords = 5242;

// Exit code of one run of `program`; -1 when it could not be started or
// did not end within a minute.
long RunOnce(const std::wstring& program) {
  std::wstring commandLine = L"\"" + program + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info)) {
    return -1;
  }
  platform::UniqueKernelHandle process(info.hProcess), thread(info.hThread);
  DWORD exitCode = 0;
  if (::WaitForSingleObject(process.Get(), 60000) != WAIT_OBJECT_0 || !::GetExitCodeProcess(process.Get(), &exitCode)) {
    return -1;
  }
  return static_cast<long>(exitCode);
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

// The records the launcher wrote for its own files, after others up to
// `count` records in all. A launcher appends its new records to what the file
// holds, so its own come after those of files recorded earlier; the others
// lie in the same folder as the last own file, so they share the longest
// start with the paths asked for. Both are the least favourable case for a
// search that compares records from the front.
std::vector<uint8_t> CacheFileOf(const std::vector<CacheEntry>& own, size_t count, const std::wstring& scratch) {
  const std::wstring& lastOwn = own.back().path;
  const std::wstring folder = lastOwn.substr(0, lastOwn.find_last_of(L'\\') + 1);
  std::vector<CacheEntry> entries;
  for (size_t i = 0; entries.size() + own.size() < count; ++i) {
    CacheEntry& other = entries.emplace_back();
    other.path = folder + L"plugin-" + std::to_wstring(i) + L".dll";
    other.signer = L"Harbor Varo Network Software Co.,Ltd";
    other.size = 100000 + i;
    other.lastWriteTime = 0x01D9ABCDEF012345ull + i;
    other.creationTime = 0x01D9ABCDEF000000ull;
    other.verdict = platform::SignatureVerdict::Valid;
  }
  entries.insert(entries.end(), own.begin(), own.end());
  if (!WriteCacheFile(scratch, entries)) return {};
  std::vector<uint8_t> bytes = ReadBytes(scratch);
  ::DeleteFileW(scratch.c_str());
  return bytes;
}

// The order of the cases in a round: row `round` mod n of a Williams design,
// in which, over n rounds, each case runs first once and follows every other
// case once (for an even n), so that neither the first place nor what the
// case before left behind (dirty pages, a process still ending) falls on one
// case more than on another.
std::vector<size_t> OrderOfRound(size_t round, size_t n) {
  std::vector<size_t> order(n);
  for (size_t i = 0; i < n; ++i) {
    const size_t firstRow = i % 2 == 1 ? (i + 1) / 2 : (n - i / 2) % n;  // 0, 1, n-1, 2, n-2, ...
    order[i] = (firstRow + round) % n;
  }
  return order;
}

// The p-quantile (0 to 1) of a non-empty list, interpolated between ranks.
double Quantile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  const double rank = p * static_cast<double>(values.size() - 1);
  const size_t below = static_cast<size_t>(rank);
  const size_t above = std::min(below + 1, values.size() - 1);
  return values[below] + (rank - static_cast<double>(below)) * (values[above] - values[below]);
}

struct Case {
  const char* name;
  char letter;                        // in the order column of the round lines
  const std::wstring& program;
  const std::vector<uint8_t>* cache;  // the cache file it runs with; null: none
  double target;                      // launcher/baseline ratio aimed at; 0: the baseline itself
  std::vector<double> milliseconds;   // one a round
  int rewrites = 0;                   // runs after which the cache file had changed
};

// Runs one case once, after the same file-system work for every case: the
// largest cache file is written, so that its 5 MB of dirty pages weigh on the
// baseline as on the launcher, then replaced by the case's own or deleted.
bool RunCase(Case& c, const std::wstring& cacheFile, const std::vector<uint8_t>& largest,
             const std::wstring& timings) {
  if (!WriteBytes(cacheFile, largest)) return false;
  if (c.cache == nullptr) {
    ::DeleteFileW(cacheFile.c_str());
  } else if (c.cache != &largest && !WriteBytes(cacheFile, *c.cache)) {
    return false;
  }
  ::DeleteFileW(timings.c_str());
  const long exitCode = RunOnce(c.program);
  const double took = ReadTiming(timings);
  if (exitCode != 0 || took < 0) {
    std::fprintf(stderr, "%s: exit code %ld, %s\n", c.name, exitCode, took < 0 ? "no timing recorded" : "timed");
    return false;
  }
  c.milliseconds.push_back(took);
  // A warm start that wrote its cache back checked something afresh.
  if (c.cache != nullptr && ReadBytes(cacheFile) != *c.cache) ++c.rewrites;
  return true;
}

void PrintRounds(const std::vector<Case>& cases, size_t rounds) {
  std::printf("cases:");
  for (const Case& c : cases) std::printf(" %c %s;", c.letter, c.name);
  std::printf("\nround order  %c ms", cases[0].letter);
  for (size_t i = 1; i < cases.size(); ++i) std::printf("  %7c ms  %c/%c", cases[i].letter, cases[i].letter, cases[0].letter);
  std::printf("\n");
  for (size_t round = 0; round < rounds; ++round) {
    std::printf("%5zu ", round + 1);
    for (size_t index : OrderOfRound(round, cases.size())) std::printf("%c", cases[index].letter);
    const double base = cases[0].milliseconds[round];
    std::printf(" %7.1f", base);
    for (size_t i = 1; i < cases.size(); ++i) {
      const double took = cases[i].milliseconds[round];
      std::printf("  %10.1f %5.2f", took, took / base);
    }
    std::printf("\n");
  }
}

// "met" when even the 75th percentile of the ratios is within the target,
// "missed" when even the 25th is beyond it; in between the run cannot tell.
const char* Verdict(double lowerQuartile, double upperQuartile, double target) {
  if (upperQuartile <= target) return "met";
  return lowerQuartile > target ? "missed" : "unsure";
}

std::string Range(double low, double high) {
  char text[32] = {};
  std::snprintf(text, sizeof text, "%.2f-%.2f", low, high);
  return text;
}

void PrintSummary(const std::vector<Case>& cases, size_t rounds) {
  std::printf("\n%-26s %7s   %s\n", "", "median", "launcher time / baseline time of the same round");
  std::printf("%-26s %7s   %6s  %-11s  %-11s  %s\n", "case", "ms", "median", "25th-75th", "min-max", "target");
  for (const Case& c : cases) {
    std::printf("%-26s %7.1f", c.name, Quantile(c.milliseconds, 0.5));
    if (c.target == 0) {
      std::printf("\n");
      continue;
    }
    std::vector<double> ratios;
    for (size_t round = 0; round < rounds; ++round) ratios.push_back(c.milliseconds[round] / cases[0].milliseconds[round]);
    const double low = Quantile(ratios, 0.25), high = Quantile(ratios, 0.75);
    std::printf("   %6.2f  %-11s  %-11s  <= %-5.2f %s\n", Quantile(ratios, 0.5), Range(low, high).c_str(),
                Range(Quantile(ratios, 0), Quantile(ratios, 1)).c_str(), c.target, Verdict(low, high, c.target));
  }
  for (const Case& c : cases) {
    if (c.rewrites > 0) {
      std::printf("warning: %s rewrote its cache file in %d of %zu runs: those were no warm starts\n", c.name,
                  c.rewrites, rounds);
    }
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 5) {
    std::fputs("usage: launch_bench LAUNCHER BASELINE_LOADER CACHE_FILE ROUNDS\n", stderr);
    return 2;
  }
  const std::wstring launcher = argv[1], baseline = argv[2], cacheFile = argv[3];
  const size_t rounds = static_cast<size_t>(std::max(1L, std::wcstol(argv[4], nullptr, 10)));
  wchar_t temp[MAX_PATH + 1] = {};
  ::GetTempPathW(MAX_PATH, temp);
  const std::wstring timings = std::wstring(temp) + L"varo-launch-timings.txt";
  ::SetEnvironmentVariableW(L"VARO_LAUNCH_TIMING", timings.c_str());

  // One launch with no cache file records the launcher's own files.
  ::DeleteFileW(cacheFile.c_str());
  if (RunOnce(launcher) != 0) {
    std::fputs("the launcher did not run its module\n", stderr);
    return 1;
  }
  std::vector<CacheEntry> own;
  bool corrupt = false;
  if (!ReadCacheFile(cacheFile, own, corrupt) || own.empty() || own.size() > kSmallCacheRecords) {
    std::fprintf(stderr, "the launcher wrote %zu records (1 to %zu expected)\n", own.size(), kSmallCacheRecords);
    return 1;
  }
  std::printf("the launcher's own files: %zu records, from one launch with no cache file\n", own.size());
  const std::wstring scratch = std::wstring(temp) + L"varo-launch-bench-cache.dat";
  const std::vector<uint8_t> small = CacheFileOf(own, kSmallCacheRecords, scratch);
  const std::vector<uint8_t> largest = CacheFileOf(own, kLargestCacheRecords, scratch);
  // One record more must make the file too large to be read.
  if (small.empty() || largest.size() >= cache_constants::kReadLimit ||
      largest.size() + cache_file_record::kSize < cache_constants::kReadLimit) {
    std::fprintf(stderr, "could not prepare the cache files (largest: %zu bytes)\n", largest.size());
    return 1;
  }

  std::vector<Case> cases = {
      {"baseline loader", 'B', baseline, &largest, 0, {}},
      {"launcher, 10 records", 'T', launcher, &small, 1.05, {}},
      {"launcher, 5,242 records", 'L', launcher, &largest, 1.2, {}},
      {"launcher, cold (no cache)", 'C', launcher, nullptr, 10, {}},
  };
  const auto runRound = [&](size_t round) {
    for (size_t index : OrderOfRound(round, cases.size())) {
      if (!RunCase(cases[index], cacheFile, largest, timings)) return false;
    }
    return true;
  };
  // A round that is not counted warms Wine and the file cache.
  if (!runRound(0)) return 1;
  for (Case& c : cases) {
    c.milliseconds.clear();
    c.rewrites = 0;
  }
  for (size_t round = 0; round < rounds; ++round) {
    if (!runRound(round)) return 1;
  }
  ::DeleteFileW(timings.c_str());

  PrintRounds(cases, rounds);
  PrintSummary(cases, rounds);
  return 0;
}
