// Two launcher processes' caches sharing one file, driven by the input:
// records, forgets, lookups, flushes, new runs, and the faults that other
// processes cause (file busy, lock squatted or held, a failing read, a file
// that can be replaced but not read, a damaged file, a full disk). After
// every flush the file must hold exactly the model's records, each path
// once; a flush that kept its entries changed must have left the file as it
// was; no handle may stay open; and the lock may have been waited on for no
// longer than the process's budget.
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cache/cache_file.h"
#include "cache/cache_file_lock.h"
#include "cache/cache_file_record.h"
#include "cache/gost_cipher.h"
#include "cache/verification_cache.h"
#include "platform/ascii_fold.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/in_memory_windows.h"

namespace {

const std::wstring kFile = L"C:\\app\\SignCache.dat";

const std::wstring& PathAt(uint8_t index) {
  static const std::vector<std::wstring> paths = {
      L"C:\\app\\a.dll",
      L"c:\\APP\\A.DLL",
      L"C:\\app\\b.dll",
      L"C:\\app\\\u00C9.dll",
      L"C:\\app\\\u00E9.dll",
      L"C:\\app\\" + std::wstring(311, L'p'),  // 319 units: fits
      L"C:\\app\\" + std::wstring(312, L'p'),  // 320 units: does not
      L"C:\\app\\c.dll",
  };
  return paths[index % paths.size()];
}

const std::wstring& SignerAt(uint8_t index) {
  static const std::vector<std::wstring> signers = {
      L"", L"Varo Test Signer", L"Other Signer", std::wstring(127, L's'), std::wstring(128, L's')};
  return signers[index % signers.size()];
}

platform::SignatureVerdict VerdictAt(uint8_t index) {
  using platform::SignatureVerdict;
  static const SignatureVerdict verdicts[] = {SignatureVerdict::NotSigned, SignatureVerdict::Valid,
                                              SignatureVerdict::Expired,   SignatureVerdict::Revoked,
                                              SignatureVerdict::Distrusted, SignatureVerdict::Failed};
  return verdicts[index % 6];
}

class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool Empty() const { return at_ >= size_; }
  uint8_t Next() { return at_ < size_ ? data_[at_++] : 0; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// What the file must hold: folded path -> record.
using Model = std::map<std::wstring, CacheEntry>;

std::vector<uint8_t> FileBytes() {
  std::vector<uint8_t> bytes;
  in_memory_windows::GetFile(kFile, bytes);
  return bytes;
}

// Deciphered straight from the stored bytes: the check itself must not meet
// the faults that the input set up for the caches.
void CheckFileMatches(const Model& model) {
  GostKey key;
  MakeCacheKey(key);
  const std::vector<uint8_t> frame = FileBytes();
  ByteArray plain;
  FUZZ_CHECK(GostDecryptBuffer(key, frame.data(), static_cast<uint32_t>(frame.size()), plain));
  FUZZ_CHECK(plain.size() == model.size() * cache_file_record::kSize);
  for (size_t at = 0; at < plain.size(); at += cache_file_record::kSize) {
    FUZZ_CHECK(cache_file_record::HasMagic(&plain[at]));
    CacheEntry entry;
    cache_file_record::Decode(&plain[at], entry);
    const auto expected = model.find(platform::FoldAscii(entry.path));
    FUZZ_CHECK(expected != model.end());
    FUZZ_CHECK(expected->second.SameStoredData(entry));
  }
}

// `settled`: no fault is active, so an entry may stay changed only when the
// file already holds exactly what it would write.
void Flush(VerificationCache& cache, Model& model, bool settled = false) {
  std::vector<CacheEntry> dirty;
  for (const CacheEntry& entry : cache.EntriesForTesting()) {
    if (entry.dirty) dirty.push_back(entry);
  }
  const std::vector<uint8_t> before = FileBytes();
  const bool existed = in_memory_windows::FileExists(kFile);
  cache.Flush();
  if (dirty.empty()) {
    // Nothing to write back: the file is not even opened.
    FUZZ_CHECK(FileBytes() == before && in_memory_windows::FileExists(kFile) == existed);
    return;
  }
  bool stillDirty = false;
  for (const CacheEntry& entry : cache.EntriesForTesting()) stillDirty = stillDirty || entry.dirty;
  if (stillDirty) {
    // Nothing was written: the file is as it was (an empty one may have
    // been created by the attempt).
    FUZZ_CHECK(FileBytes() == before);
    FUZZ_CHECK(existed || before.empty());
    for (const CacheEntry& entry : cache.EntriesForTesting()) {
      if (!settled || !entry.dirty) continue;
      const auto stored = model.find(platform::FoldAscii(entry.path));
      FUZZ_CHECK(IsStorable(entry) ? stored != model.end() && stored->second.SameStoredData(entry)
                                   : stored == model.end());
    }
    return;
  }
  for (CacheEntry entry : dirty) {
    const std::wstring key = platform::FoldAscii(entry.path);
    if (!IsStorable(entry)) {
      model.erase(key);
      continue;
    }
    entry.dirty = false;
    model[key] = entry;
  }
  CheckFileMatches(model);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  in_memory_windows::Reset();
  CacheFileLock::ResetWaitBudgetForTesting();
  for (uint8_t i = 0; i < 8; ++i) in_memory_windows::PutFile(PathAt(i), std::vector<uint8_t>(i + 1u, i));

  Model model;
  {
    VerificationCache caches[2];
    for (VerificationCache& cache : caches) cache.SetFile(kFile);
    Input input(data, size);
    while (!input.Empty()) {
      const uint8_t op = input.Next();
      VerificationCache& cache = caches[op >> 7];
      std::wstring signer;
      switch ((op & 0x7F) % 12) {
        case 0:
          cache.Record(VerdictAt(input.Next()), PathAt(input.Next()), SignerAt(input.Next()));
          break;
        case 1:
          cache.Forget(PathAt(input.Next()));
          break;
        case 2:
          cache.Lookup(PathAt(input.Next()), signer);
          break;
        case 3:
          Flush(cache, model);
          break;
        case 4:
          // A new launcher run: forget everything, read the file afresh.
          cache.Reset();
          cache.SetFile(kFile);
          break;
        case 5:
          in_memory_windows::SetBusyOpens(input.Next() * 2u);
          break;
        case 6:
          in_memory_windows::SetLockState(static_cast<in_memory_windows::LockState>(input.Next() % 3));
          break;
        case 7:
          in_memory_windows::FailNextRead();
          break;
        case 8: {
          // The checked file changes: its stamp no longer matches.
          const std::wstring& path = PathAt(input.Next());
          in_memory_windows::PutFile(path, std::vector<uint8_t>(input.Next(), 1));
          break;
        }
        case 9:
          in_memory_windows::DenyReading(kFile, input.Next() & 1);
          break;
        case 11:
          // A full disk: the next write-back cannot write its whole frame.
          in_memory_windows::SetFreeSpace(input.Next() * 64u);
          break;
        default:
          // Damaged by someone else: whoever reads it next deletes it, and
          // the next write-back replaces it with its own changes alone.
          in_memory_windows::PutFile(kFile,
                                     {'g', 'a', 'r', 'b', 'a', 'g', 'e', '-', 'g', 'a', 'r', 'b', 'a', 'g', 'e', '!'});
          model.clear();
          break;
      }
      FUZZ_CHECK(in_memory_windows::OpenHandleCount() == 0);
      FUZZ_CHECK(in_memory_windows::WaitedMilliseconds() <= CacheFileLock::kWaitBudgetMilliseconds);
    }
    // Without faults both write back whatever they still hold changed.
    in_memory_windows::ClearFaults();
    for (VerificationCache& cache : caches) Flush(cache, model, true);
  }
  FUZZ_CHECK(in_memory_windows::OpenHandleCount() == 0);
  return 0;
}
