#include "cache/verification_cache.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>

#include "cache/cache_file.h"
#include "cache/cache_file_lock.h"
#include "cache/gost_cipher.h"
#include "platform/file_system.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_folder.h"

using platform::SignatureVerdict;

namespace {

constexpr SignatureVerdict kMiss = SignatureVerdict::Unavailable;

class VerificationCacheTest : public ::testing::Test {
 protected:
  // Every test starts with the process's whole time for waiting on the lock.
  void SetUp() override { CacheFileLock::ResetWaitBudgetForTesting(); }

  // A file name of its own per test: the cross-process lock is named after it.
  std::wstring CacheFile() const {
    return temp_.Path(L"cache-" + std::to_wstring(::GetCurrentProcessId()) + L".dat");
  }

  std::vector<CacheEntry> FileEntries(const std::wstring& file) const {
    std::vector<CacheEntry> entries;
    bool corrupt = false;
    ReadCacheFile(file, entries, corrupt);
    return entries;
  }

  // Sets the file and makes the first lookup, as the verifier always looks
  // a path up before it records one: that lookup loads the file.
  static void Open(VerificationCache& cache, const std::wstring& file) {
    cache.SetFile(file);
    std::wstring signer;
    cache.Lookup(L"C:\\nothing.dll", signer);
  }

  // Another launcher run that leaves a Valid verdict for `path` in `file`.
  static void StoreValid(const std::wstring& file, const std::wstring& path) {
    VerificationCache other;
    Open(other, file);
    other.Record(SignatureVerdict::Valid, path, L"S");
  }

  TempFolder temp_;
};

// Without a cache file nothing is read or answered.
TEST_F(VerificationCacheTest, NoFileOrNoPathMisses) {
  VerificationCache cache;
  const std::wstring dll = temp_.WriteFile(L"a.dll", "x");
  cache.Record(SignatureVerdict::Valid, dll, L"S");
  std::wstring signer = L"stale";
  EXPECT_EQ(cache.Lookup(dll, signer), kMiss);
  EXPECT_EQ(signer, L"");

  // A corrupt file survives a lookup with an empty path: it was never read.
  const std::wstring file = temp_.WriteFile(L"cache.dat", "garbage-garbage!");
  cache.SetFile(file);
  EXPECT_EQ(cache.Lookup(L"", signer), kMiss);
  EXPECT_TRUE(FileSystem::Exists(file));
}

TEST_F(VerificationCacheTest, HitWhileSizeAndTimesAreUnchanged) {
  const std::wstring dll = temp_.WriteFile(L"App\\A.dll", "content");
  VerificationCache cache;
  Open(cache, CacheFile());
  cache.Record(SignatureVerdict::Expired, dll, L"Signer");
  std::wstring signer;
  EXPECT_EQ(cache.Lookup(dll, signer), SignatureVerdict::Expired);
  EXPECT_EQ(signer, L"Signer");

  // Last access does not count.
  platform::UniqueFileHandle file(::CreateFileW(dll.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                                OPEN_EXISTING, 0, nullptr));
  FILETIME access{0x12345678, 0x01D00000};
  ASSERT_TRUE(::SetFileTime(file.Get(), nullptr, &access, nullptr));
  EXPECT_EQ(cache.Lookup(dll, signer), SignatureVerdict::Expired);

  // A new last-write time does.
  FILETIME written{0x12345678, 0x01D00000};
  ASSERT_TRUE(::SetFileTime(file.Get(), nullptr, nullptr, &written));
  EXPECT_EQ(cache.Lookup(dll, signer), kMiss);

  // So does a new size. (Wine keeps no settable creation time, so that third
  // part of the stamp cannot be changed here.)
  file.Reset();
  cache.Record(SignatureVerdict::Valid, dll, L"Signer");
  temp_.WriteFile(L"App\\A.dll", "longer content");
  EXPECT_EQ(cache.Lookup(dll, signer), kMiss);
}

// Windows paths ignore case; the cache folds only A to Z, as every other
// process of the family does.
TEST_F(VerificationCacheTest, PathsMatchIgnoringAsciiCaseOnly) {
  const std::wstring dir = temp_.Path(L"Dir\\");
  const std::wstring dll = temp_.WriteFile(L"Dir\\A.DLL", "x");
  VerificationCache cache;
  Open(cache, CacheFile());
  cache.Record(SignatureVerdict::Valid, dll, L"S");
  std::wstring signer;
  std::wstring lower = dll;
  for (wchar_t& c : lower) c = (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c;
  EXPECT_EQ(cache.Lookup(lower, signer), SignatureVerdict::Valid);

  const std::wstring accented = temp_.WriteFile(L"Dir\\\u00C9.dll", "y");
  cache.Record(SignatureVerdict::Valid, accented, L"S");
  EXPECT_EQ(cache.Lookup(temp_.Path(L"Dir\\\u00E9.dll"), signer), kMiss);
}

// The file is read once per path setting, at the first lookup, even when
// that read found nothing.
TEST_F(VerificationCacheTest, FileIsReadOnceLazily) {
  const std::wstring file = CacheFile();
  const std::wstring dll = temp_.WriteFile(L"a.dll", "x");
  VerificationCache cache;
  cache.SetFile(file);
  std::wstring signer;
  EXPECT_EQ(cache.Lookup(dll, signer), kMiss);  // reads: no file yet

  VerificationCache writer;
  writer.SetFile(file);
  writer.Record(SignatureVerdict::Valid, dll, L"Other");
  writer.Flush();
  ASSERT_EQ(FileEntries(file).size(), 1u);
  EXPECT_EQ(cache.Lookup(dll, signer), kMiss);  // not read again

  VerificationCache fresh;
  fresh.SetFile(file);
  EXPECT_EQ(fresh.Lookup(dll, signer), SignatureVerdict::Valid);
  EXPECT_EQ(signer, L"Other");
}

// Re-recording what the file already says must not rewrite the file on every
// launcher run.
TEST_F(VerificationCacheTest, UnchangedVerdictsDoNotTouchTheFile) {
  const std::wstring file = CacheFile();
  const std::wstring dll = temp_.WriteFile(L"a.dll", "x");
  {
    VerificationCache first;
    first.SetFile(file);
    first.Record(SignatureVerdict::Valid, dll, L"S");
  }  // destruction writes back
  ASSERT_EQ(FileEntries(file).size(), 1u);

  VerificationCache cache;
  cache.SetFile(file);
  std::wstring signer;
  ASSERT_EQ(cache.Lookup(dll, signer), SignatureVerdict::Valid);
  cache.Record(SignatureVerdict::Valid, dll, L"S");
  EXPECT_FALSE(cache.EntriesForTesting()[0].dirty);
  // Replace the file behind the cache's back: a flush that reads or writes
  // would notice the garbage and delete it.
  temp_.WriteFile(file.substr(temp_.Path().size()), "garbage-garbage!");
  cache.Flush();
  EXPECT_EQ(ReadWholeFile(file).size(), 16u);
}

// Verdicts the cache never answers stay in memory but never reach the file.
TEST_F(VerificationCacheTest, UncacheableVerdictStaysInMemoryOnly) {
  const std::wstring file = CacheFile();
  VerificationCache cache;
  cache.SetFile(file);
  cache.Record(SignatureVerdict::Distrusted, L"C:\\bad.dll", L"S");
  cache.Record(SignatureVerdict::Valid, L"C:\\good.dll", L"S");
  cache.Flush();
  EXPECT_EQ(cache.EntriesForTesting().size(), 2u);
  const auto stored = FileEntries(file);
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].path, L"C:\\good.dll");
}

TEST_F(VerificationCacheTest, ForgetMakesTheNextLookupMiss) {
  const std::wstring dll = temp_.WriteFile(L"a.dll", "x");
  VerificationCache cache;
  Open(cache, CacheFile());
  cache.Record(SignatureVerdict::Valid, dll, L"S");
  cache.Forget(dll);
  std::wstring signer;
  EXPECT_EQ(cache.Lookup(dll, signer), kMiss);
  EXPECT_EQ(cache.EntriesForTesting()[0].path, dll);
}

TEST_F(VerificationCacheTest, SetFileWritesBackToTheOldFileFirst) {
  const std::wstring oldFile = temp_.Path(L"old.dat");
  const std::wstring newFile = temp_.Path(L"new.dat");
  VerificationCache cache;
  cache.SetFile(oldFile);
  cache.Record(SignatureVerdict::Valid, L"C:\\a.dll", L"S");
  cache.SetFile(oldFile);  // same path: nothing happens
  EXPECT_FALSE(FileSystem::Exists(oldFile));
  cache.SetFile(newFile);
  EXPECT_EQ(FileEntries(oldFile).size(), 1u);
  EXPECT_TRUE(cache.EntriesForTesting().empty());
  EXPECT_FALSE(FileSystem::Exists(newFile));
}

// A corrupt file is deleted when read; a too-large one is kept until a
// write-back replaces it with this process's own changes.
TEST_F(VerificationCacheTest, CorruptFileIsDeletedAndTooLargeFileReplaced) {
  const std::wstring file = CacheFile();
  temp_.WriteFile(file.substr(temp_.Path().size()), "0123456789abcdefghij");
  VerificationCache cache;
  cache.SetFile(file);
  std::wstring signer;
  cache.Lookup(L"C:\\a.dll", signer);
  EXPECT_FALSE(FileSystem::Exists(file));

  temp_.WriteFile(file.substr(temp_.Path().size()), ByteArray(5 * 1024 * 1024, 1));
  VerificationCache other;
  other.SetFile(file);
  other.Lookup(L"C:\\a.dll", signer);
  EXPECT_TRUE(FileSystem::Exists(file));
  other.Record(SignatureVerdict::Valid, L"C:\\a.dll", L"S");
  other.Flush();
  EXPECT_EQ(ReadWholeFile(file).size(), 1012u);
}

// With the digest option a verdict is tied to the content, even when size
// and times were put back after a change.
TEST_F(VerificationCacheTest, DigestOptionCatchesContentChangedUnderTheSameTimes) {
  const std::wstring dll = temp_.WriteFile(L"a.dll", "abc");
  WIN32_FILE_ATTRIBUTE_DATA before{};
  ASSERT_TRUE(FileSystem::GetAttributesEx(dll, before));
  VerificationCache plain, digesting(true);
  Open(plain, temp_.Path(L"plain.dat"));
  Open(digesting, temp_.Path(L"digest.dat"));
  plain.Record(SignatureVerdict::Valid, dll, L"S");
  digesting.Record(SignatureVerdict::Valid, dll, L"S");
  EXPECT_EQ(digesting.EntriesForTesting()[0].digest, L"900150983CD24FB0D6963F7D28E17F72");

  temp_.WriteFile(L"a.dll", "abd");
  platform::UniqueFileHandle file(::CreateFileW(dll.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                                OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(::SetFileTime(file.Get(), &before.ftCreationTime, nullptr, &before.ftLastWriteTime));
  file.Reset();
  std::wstring signer;
  EXPECT_EQ(plain.Lookup(dll, signer), SignatureVerdict::Valid);
  EXPECT_EQ(digesting.Lookup(dll, signer), kMiss);
}

TEST(CacheMutexNameTest, NamedAfterTheFileNameOnly) {
  const std::wstring prefix = L"Global\\QM.Signer.File.{A1A1B7F7-8155-4330-A7DD-765779FE2D4A}.";
  EXPECT_EQ(CacheMutexName(L"C:\\Users\\u\\AppData\\Roaming\\VaroPic\\Name.DAT"), prefix + L"name.dat");
  EXPECT_EQ(CacheMutexName(L"D:/other/place/Name.DAT"), prefix + L"name.dat");
  EXPECT_EQ(CacheMutexName(L"Plain\u00C9.dat"), prefix + L"plain\u00C9.dat");
  EXPECT_EQ(CacheMutexName(L"C:\\dir\\"), prefix + L"c:\\dir\\");
}

// A process that holds the lock forever (hung or hostile) must not freeze
// the cache: after the bounded wait the work goes on without the lock.
TEST_F(VerificationCacheTest, HeldLockDelaysButDoesNotBlock) {
  const std::wstring file = CacheFile();
  {
    VerificationCache writer;
    writer.SetFile(file);
    writer.Record(SignatureVerdict::Valid, L"C:\\a.dll", L"S");
  }
  const std::wstring ready = temp_.Path(L"ready");
  auto holder = StartProcess(SiblingProgram(L"cache_peer.exe"),
                             L"hold-mutex " + Quoted(file) + L" " + Quoted(ready) + L" 60000");
  ASSERT_TRUE(WaitForFile(ready, 20000));

  const ULONGLONG start = ::GetTickCount64();
  VerificationCache cache;
  cache.SetFile(file);
  std::wstring signer;
  cache.Lookup(L"C:\\a.dll", signer);
  cache.Record(SignatureVerdict::Valid, L"C:\\b.dll", L"S");
  cache.Flush();
  const ULONGLONG took = ::GetTickCount64() - start;
  ::TerminateProcess(holder.Get(), 0);

  EXPECT_EQ(cache.EntriesForTesting().size(), 2u);  // read and merged unlocked
  EXPECT_EQ(FileEntries(file).size(), 2u);
  EXPECT_LT(took, 20000u);
}

// Unlocked, with the file open in the lock's holder, a write-back must not
// replace the holder's records with this process's alone; it tries again
// once it can read the file.
TEST_F(VerificationCacheTest, UnlockedWriteBackLeavesAnUnreadableFileAlone) {
  const std::wstring file = CacheFile();
  {
    VerificationCache writer;
    writer.SetFile(file);
    writer.Record(SignatureVerdict::Valid, L"C:\\theirs.dll", L"S");
  }
  VerificationCache cache;
  Open(cache, file);
  cache.Record(SignatureVerdict::Valid, L"C:\\ours.dll", L"S");

  const std::wstring mutexReady = temp_.Path(L"mutex-ready"), fileReady = temp_.Path(L"file-ready");
  auto lockHolder = StartProcess(SiblingProgram(L"cache_peer.exe"),
                                 L"hold-mutex " + Quoted(file) + L" " + Quoted(mutexReady) + L" 60000");
  auto fileHolder = StartProcess(SiblingProgram(L"cache_peer.exe"),
                                 L"hold-file " + Quoted(file) + L" " + Quoted(fileReady) + L" 60000");
  ASSERT_TRUE(WaitForFile(mutexReady, 20000));
  ASSERT_TRUE(WaitForFile(fileReady, 20000));
  cache.Flush();
  EXPECT_TRUE(cache.EntriesForTesting().back().dirty);
  ::TerminateProcess(fileHolder.Get(), 0);
  ::TerminateProcess(lockHolder.Get(), 0);
  WaitForExit(fileHolder, 5000);
  WaitForExit(lockHolder, 5000);

  cache.Flush();
  EXPECT_EQ(FileEntries(file).size(), 2u);
}

// Another process (a writer without the lock, a scanner) that has the file
// open for a moment must not make the first lookup miss everything.
TEST_F(VerificationCacheTest, ReadWaitsForAFileHeldForAMoment) {
  const std::wstring file = CacheFile();
  const std::wstring dll = temp_.WriteFile(L"a.dll", "x");
  StoreValid(file, dll);
  const std::wstring ready = temp_.Path(L"ready");
  auto holder = StartProcess(SiblingProgram(L"cache_peer.exe"),
                             L"hold-file " + Quoted(file) + L" " + Quoted(ready) + L" 600");
  ASSERT_TRUE(WaitForFile(ready, 20000));
  VerificationCache cache;
  cache.SetFile(file);
  std::wstring signer;
  EXPECT_EQ(cache.Lookup(dll, signer), SignatureVerdict::Valid);
  EXPECT_EQ(WaitForExit(holder, 20000), 0u);
}

// A previous owner that died holding the lock leaves it abandoned, which
// counts as acquired at once.
TEST_F(VerificationCacheTest, AbandonedLockCountsAsAcquired) {
  const std::wstring file = CacheFile();
  const std::wstring ready = temp_.Path(L"ready");
  auto holder = StartProcess(SiblingProgram(L"cache_peer.exe"),
                             L"hold-mutex " + Quoted(file) + L" " + Quoted(ready) + L" 0 abandon");
  ASSERT_EQ(WaitForExit(holder, 20000), 0u);
  CacheFileLock lock(file);
  EXPECT_TRUE(lock.Held());
}

// Several launcher processes flushing into one file at the same moment: the
// file ends up with every record of every process, and one record for the
// path they all recorded.
TEST_F(VerificationCacheTest, ConcurrentProcessesMergeIntoOneFile) {
  const std::wstring file = CacheFile();
  const std::wstring eventName = L"varo-cache-start-" + std::to_wstring(::GetCurrentProcessId());
  platform::UniqueKernelHandle start(::CreateEventW(nullptr, TRUE, FALSE, eventName.c_str()));
  ASSERT_TRUE(start);
  constexpr int kProcesses = 4, kEach = 50;
  std::vector<platform::UniqueKernelHandle> peers;
  for (int p = 0; p < kProcesses; ++p) {
    const std::wstring prefix = L"C:\\p" + std::to_wstring(p) + L"\\f";
    peers.push_back(StartProcess(SiblingProgram(L"cache_peer.exe"),
                                 L"record " + Quoted(file) + L" " + Quoted(prefix) + L" " + std::to_wstring(kEach) +
                                     L" " + Quoted(L"C:\\Shared\\Same.dll") + L" " + eventName));
    ASSERT_TRUE(peers.back());
  }
  ::SetEvent(start.Get());
  for (auto& peer : peers) EXPECT_EQ(WaitForExit(peer, 60000), 0u);

  const auto stored = FileEntries(file);
  EXPECT_EQ(stored.size(), static_cast<size_t>(kProcesses * kEach + 1));
  int shared = 0;
  for (const auto& entry : stored) shared += entry.path == L"C:\\Shared\\Same.dll" ? 1 : 0;
  EXPECT_EQ(shared, 1);
}

// A process waits for a held lock once; later cycles go straight to the
// file, which is then kept apart from other writers by holding it open.
TEST_F(VerificationCacheTest, WaitForAHeldLockIsBoundedPerProcess) {
  const std::wstring file = CacheFile();
  const std::wstring ready = temp_.Path(L"ready");
  auto holder = StartProcess(SiblingProgram(L"cache_peer.exe"),
                             L"hold-mutex " + Quoted(file) + L" " + Quoted(ready) + L" 60000");
  ASSERT_TRUE(WaitForFile(ready, 20000));

  const ULONGLONG start = ::GetTickCount64();
  for (const wchar_t* path : {L"C:\\one.dll", L"C:\\two.dll"}) {
    VerificationCache cache;
    Open(cache, file);
    cache.Record(SignatureVerdict::Valid, path, L"S");
    cache.Flush();
  }
  const ULONGLONG took = ::GetTickCount64() - start;
  ::TerminateProcess(holder.Get(), 0);
  WaitForExit(holder, 5000);

  EXPECT_EQ(FileEntries(file).size(), 2u);
  // Four lock attempts: one wait of three seconds, then none.
  EXPECT_LT(took, 5000u) << "waited " << took << " ms";
}

// A record that the file cannot hold whole is not written: stored cut it
// would never match, and every run would add it again.
TEST_F(VerificationCacheTest, LongPathIsNotAddedOnEveryRun) {
  const std::wstring file = CacheFile();
  const std::wstring longPath = L"C:\\" + std::wstring(330, L'x') + L".dll";
  for (int run = 0; run < 3; ++run) {
    VerificationCache cache;
    Open(cache, file);
    cache.Record(SignatureVerdict::Valid, L"C:\\short.dll", L"S");
    cache.Record(SignatureVerdict::Valid, longPath, L"S");
    cache.Flush();
  }
  const auto stored = FileEntries(file);
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].path, L"C:\\short.dll");
  EXPECT_EQ(ReadWholeFile(file).size(), 1012u);
}

// Forgetting a file and recording a verdict the cache never answers must
// take the old good verdict out of the file, even when it was the only one.
TEST_F(VerificationCacheTest, DowngradedOnlyRecordLeavesTheFile) {
  const std::wstring file = CacheFile();
  const std::wstring dll = temp_.WriteFile(L"a.dll", "x");
  StoreValid(file, dll);
  ASSERT_EQ(FileEntries(file).size(), 1u);

  VerificationCache cache;
  Open(cache, file);
  cache.Forget(dll);
  cache.Record(SignatureVerdict::Distrusted, dll, L"S");
  cache.Flush();
  EXPECT_FALSE(cache.EntriesForTesting()[0].dirty);

  VerificationCache fresh;
  fresh.SetFile(file);
  std::wstring signer;
  EXPECT_EQ(fresh.Lookup(dll, signer), kMiss);
}

// Sixteen launchers at once record distinct paths into one file: normally,
// with the lock's name taken by an event, and with the lock held by another
// process throughout. Each case must keep every record, once, and no process
// may wait much longer than its budget.
class CacheStressTest : public VerificationCacheTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(CacheStressTest, SixteenProcessesLoseNothing) {
  const std::string mode = GetParam();
  const std::wstring file = CacheFile();
  platform::UniqueKernelHandle squatter;
  platform::UniqueKernelHandle holder;
  if (mode == "squatted") {
    squatter.Reset(::CreateEventW(nullptr, TRUE, FALSE, CacheMutexName(file).c_str()));
    ASSERT_TRUE(squatter);
  } else if (mode == "held") {
    const std::wstring ready = temp_.Path(L"ready");
    holder = StartProcess(SiblingProgram(L"cache_peer.exe"),
                          L"hold-mutex " + Quoted(file) + L" " + Quoted(ready) + L" 60000");
    ASSERT_TRUE(WaitForFile(ready, 20000));
  }

  const std::wstring eventName = L"varo-stress-" + std::to_wstring(::GetCurrentProcessId());
  platform::UniqueKernelHandle start(::CreateEventW(nullptr, TRUE, FALSE, eventName.c_str()));
  ASSERT_TRUE(start);
  constexpr int kProcesses = 16, kEach = 4;
  std::vector<platform::UniqueKernelHandle> peers;
  for (int p = 0; p < kProcesses; ++p) {
    const std::wstring id = std::to_wstring(p);
    peers.push_back(StartProcess(SiblingProgram(L"cache_peer.exe"),
                                 L"record " + Quoted(file) + L" " + Quoted(L"C:\\s" + id + L"\\f") + L" " +
                                     std::to_wstring(kEach) + L" " + Quoted(L"C:\\Shared\\Same.dll") + L" " +
                                     eventName + L" " + Quoted(temp_.Path(L"took-" + id))));
    ASSERT_TRUE(peers.back());
  }
  ::SetEvent(start.Get());
  for (auto& peer : peers) EXPECT_EQ(WaitForExit(peer, 60000), 0u);
  if (holder) ::TerminateProcess(holder.Get(), 0);

  unsigned long longest = 0;
  for (int p = 0; p < kProcesses; ++p) {
    const ByteArray report = ReadWholeFile(temp_.Path(L"took-" + std::to_wstring(p)));
    const std::string took(report.begin(), report.end());
    ASSERT_FALSE(took.empty()) << "peer " << p << " sent no report";
    longest = std::max(longest, std::stoul(took));
  }
  const auto stored = FileEntries(file);
  std::set<std::wstring> paths;
  for (const auto& entry : stored) paths.insert(entry.path);
  std::printf("[ stress   ] %s: %d records expected, %zu found, %zu distinct, longest wait %lu ms\n", mode.c_str(),
              kProcesses * kEach + 1, stored.size(), paths.size(), longest);
  EXPECT_EQ(stored.size(), static_cast<size_t>(kProcesses * kEach + 1));
  EXPECT_EQ(paths.size(), stored.size()) << "a path was stored twice";
  for (int p = 0; p < kProcesses; ++p) {
    for (int i = 0; i < kEach; ++i) {
      const std::wstring path = L"C:\\s" + std::to_wstring(p) + L"\\f" + std::to_wstring(i);
      EXPECT_EQ(paths.count(path), 1u) << "lost record of peer " << p;
    }
  }
  EXPECT_LT(longest, 4500u);
  if (holder) WaitForExit(holder, 5000);
}

INSTANTIATE_TEST_SUITE_P(Lock, CacheStressTest, ::testing::Values("free", "squatted", "held"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
