// The in-memory side of the verification cache. It reads its file once,
// lazily, and merges the entries changed in this process into whatever the
// file holds when it writes back, so verdicts recorded by several launcher
// processes all end up in the file. A verdict is answered only while the
// file's size, last-write time and creation time are unchanged.
//
// Not thread-safe: the owner calls it under its own lock.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "cache/cache_entry.h"
#include "cache/enciphered_records.h"
#include "cache/file_stamp.h"

class VerificationCache {
 public:
  // With `checkDigest`, a verdict is also tied to the file's MD5.
  explicit VerificationCache(bool checkDigest = false) : checkDigest_(checkDigest) {}
  VerificationCache(const VerificationCache&) = delete;
  VerificationCache& operator=(const VerificationCache&) = delete;
  // Writes the changed entries back.
  ~VerificationCache();

  // The stored verdict for `path` (`signer` set) while the file is unchanged;
  // Unavailable (0) on a miss, with `signer` empty. Without a cache file
  // every lookup misses.
  platform::SignatureVerdict Lookup(const std::wstring& path, std::wstring& signer);
  // The same for a file whose stamp the caller read itself, e.g. through a
  // handle it holds open.
  platform::SignatureVerdict Lookup(const std::wstring& path, const FileStamp& stamp, std::wstring& signer);

  // Records a verdict with the file's current size and times.
  void Record(platform::SignatureVerdict verdict, const std::wstring& path, const std::wstring& signer);
  void Record(platform::SignatureVerdict verdict, const std::wstring& path, const std::wstring& signer,
              const FileStamp& stamp);

  // Blanks what is known about `path`, so its next lookup misses.
  void Forget(const std::wstring& path);

  // Switches to another cache file, writing back to the old one first.
  void SetFile(const std::wstring& path);

  // Writes the changed entries back and adopts what the file then holds.
  // Entries stay changed when nothing could be written.
  void Flush();

  // Forgets the file and every entry.
  void Reset();

  // The entries in memory: the file's records only once asked for.
  const std::vector<CacheEntry>& EntriesForTesting() const { return entries_; }

 private:
  platform::SignatureVerdict LookupStamped(const std::wstring& path, const FileStamp* knownStamp, std::wstring& signer);
  void Load();
  // Merges the changed entries into the file's current content and writes
  // it; true with the written list in `merged`, false when nothing was
  // written.
  bool WriteBack(std::vector<CacheEntry>& merged);
  void AdoptEntries(std::vector<CacheEntry> entries);
  CacheEntry* FindFirst(const std::wstring& path);
  CacheEntry& Append(CacheEntry entry, size_t origin);

  std::wstring filePath_;
  std::vector<CacheEntry> entries_;
  // For each entry, its record's place in the file it came from, or
  // kRecordedHere; a write-back merges in that order, as if every record of
  // the file had been taken in at once.
  static constexpr size_t kRecordedHere = static_cast<size_t>(-1);
  std::vector<size_t> origins_;
  // Path with A to Z folded -> index of the first entry with that path.
  std::unordered_map<std::wstring, size_t> firstEntry_;
  // The file's records as read at the first lookup; each becomes an entry
  // when its path is first asked for.
  EncipheredRecords fileRecords_;
  bool loaded_ = false;
  bool checkDigest_;
};
