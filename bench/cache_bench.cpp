// Costs of the verification cache at its smallest and largest sizes: the
// figures that decide launcher start-up when the cache file is full.
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cache/cache_file.h"
#include "cache/gost_cipher.h"
#include "cache/verification_cache.h"
#include "platform/file_system.h"
#include "platform/unique_handle.h"

namespace {

// Average microseconds per call over `repeats` calls.
double Microseconds(int repeats, const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < repeats; ++i) work();
  const std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
  return took.count() / repeats;
}

std::wstring TempFolder() {
  wchar_t temp[MAX_PATH + 1] = {};
  ::GetTempPathW(MAX_PATH, temp);
  std::wstring folder = std::wstring(temp) + L"varo-cache-bench-" + std::to_wstring(::GetCurrentProcessId()) + L"\\";
  FileSystem::CreateDirectoryTree(folder);
  return folder;
}

std::vector<CacheEntry> MakeEntries(size_t count) {
  std::vector<CacheEntry> entries(count);
  for (size_t i = 0; i < count; ++i) {
    entries[i].path = L"C:\\Program Files\\Varo\\Application\\2.0.1\\module" + std::to_wstring(i) + L".dll";
    entries[i].signer = L"Harbor Varo Network Software Co.,Ltd";
    entries[i].size = 100000 + i;
    entries[i].verdict = platform::SignatureVerdict::Valid;
  }
  return entries;
}

// Where a full read of the file goes: the file read itself, the decipher
// (both cipher paths) and the record decoding (what ReadCacheFile adds to
// those two). The store's first lookup reads the file under the
// cross-process lock but deciphers only the records that can match: one of
// a path the file lacks, and one of a path it holds last.
void PrintReadBreakdown(const std::wstring& cacheFile, double readCacheFile, const std::wstring& lastPath) {
  // Into memory the process has not touched yet, as the readers read: on
  // some systems the first touch of each page costs more than the copy.
  std::unique_ptr<uint8_t[]> fresh;
  DWORD got = 0;
  const double fileRead = Microseconds(10, [&] {
    platform::UniqueFileHandle file(
        ::CreateFileW(cacheFile.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    const DWORD size = ::GetFileSize(file.Get(), nullptr);
    fresh = std::make_unique_for_overwrite<uint8_t[]>(size);
    ::ReadFile(file.Get(), fresh.get(), size, &got, nullptr);
  });
  const std::vector<uint8_t> frame(fresh.get(), fresh.get() + got);
  GostKey key;
  MakeCacheKey(key);
  double decipher[2] = {};
  for (const bool scalar : {true, false}) {
    GostUseScalarPathForTesting(scalar);
    std::vector<uint8_t> copy = frame;
    uint32_t plainLength = 0;
    // Deciphering the same bytes again and again costs the same each time.
    decipher[scalar ? 0 : 1] = Microseconds(10, [&] {
      GostDecryptFrameInPlace(key, copy.data(), static_cast<uint32_t>(copy.size()), plainLength);
    });
  }
  GostUseScalarPathForTesting(false);
  const double decode = readCacheFile - fileRead - (GostAvx2Active() ? decipher[1] : decipher[0]);
  auto firstLookup = [&](const std::wstring& path) {
    return Microseconds(10, [&] {
      VerificationCache cache;
      cache.SetFile(cacheFile);
      std::wstring signer;
      cache.Lookup(path, signer);
    });
  };
  const double firstMiss = firstLookup(L"C:\\absent\\module.dll");
  const double firstHit = firstLookup(lastPath);
  std::printf("      of ReadCacheFile: file read %.0f us, decipher %.0f us (scalar %.0f us), decode %.0f us;\n"
              "      first lookup (file read under the lock + finder): miss %.0f us, hit on the last record %.0f us\n",
              fileRead, GostAvx2Active() ? decipher[1] : decipher[0], decipher[0], decode, firstMiss, firstHit);
}

void Run(size_t count, const std::wstring& folder) {
  const std::wstring cacheFile = folder + L"bench-" + std::to_wstring(count) + L".dat";
  const std::wstring target = folder + L"target.dll";
  {
    platform::UniqueFileHandle file(
        ::CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  std::vector<CacheEntry> entries = MakeEntries(count - 1);
  WriteCacheFile(cacheFile, entries);

  VerificationCache cache;
  cache.SetFile(cacheFile);
  std::wstring signer;
  cache.Lookup(target, signer);  // loads the file
  cache.Record(platform::SignatureVerdict::Valid, target, L"Signer");
  cache.Flush();

  const double hit = Microseconds(2000, [&] { cache.Lookup(target, signer); });
  const double miss = Microseconds(2000, [&] { cache.Lookup(L"C:\\absent\\module.dll", signer); });
  bool flip = false;
  const double record = Microseconds(2000, [&] {
    flip = !flip;
    cache.Record(flip ? platform::SignatureVerdict::Expired : platform::SignatureVerdict::Valid, target, L"Signer");
  });
  // Every entry changed, so the merge and the write cover the whole file.
  double writeBack = 0;
  constexpr int kWriteBacks = 5;
  for (int i = 0; i < kWriteBacks; ++i) {
    flip = !flip;
    for (const CacheEntry& entry : std::vector<CacheEntry>(cache.EntriesForTesting())) {
      using platform::SignatureVerdict;
      cache.Record(flip ? SignatureVerdict::Expired : SignatureVerdict::Valid, entry.path, entry.signer);
    }
    writeBack += Microseconds(1, [&] { cache.Flush(); }) / kWriteBacks;
  }
  std::vector<CacheEntry> read;
  bool corrupt = false;
  const double readFile = Microseconds(10, [&] { ReadCacheFile(cacheFile, read, corrupt); });
  const double writeFile = Microseconds(10, [&] { WriteCacheFile(cacheFile, read); });

  std::printf("%5zu entries (%zu bytes): lookup hit %.2f us, lookup miss %.2f us, record changed %.2f us,\n"
              "      write-back merge of all %.0f us, ReadCacheFile %.0f us, WriteCacheFile %.0f us\n",
              read.size(), 12 + 1000 * read.size(), hit, miss, record, writeBack, readFile, writeFile);
  PrintReadBreakdown(cacheFile, readFile, read.back().path);
  ::DeleteFileW(cacheFile.c_str());
  ::DeleteFileW(target.c_str());
}

}  // namespace

int main() {
  const std::wstring folder = TempFolder();
  Run(10, folder);
  Run(5242, folder);
  ::RemoveDirectoryW(folder.c_str());
  return 0;
}
