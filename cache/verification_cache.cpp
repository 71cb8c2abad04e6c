#include "cache/verification_cache.h"

#include <algorithm>
#include <utility>

#include "cache/cache_file.h"
#include "cache/cache_file_lock.h"
#include "cache/file_stamp.h"
#include "hash/file_md5.h"
#include "platform/ascii_fold.h"
#include "platform/file_system.h"

using platform::SignatureVerdict;

namespace {

std::wstring DigestOrEmpty(const std::wstring& path) {
  std::wstring digest;
  GetFileMD5(path, digest);
  return digest;
}

// Index of the first entry per folded path, for lists read from the file.
std::unordered_map<std::wstring, size_t> IndexFirstEntries(const std::vector<CacheEntry>& entries) {
  std::unordered_map<std::wstring, size_t> index;
  index.reserve(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) index.try_emplace(platform::FoldAscii(entries[i].path), i);
  return index;
}

// True when writing `after` where `before` was changes what the file holds:
// an entry that is stored neither before nor after (a verdict the cache never
// answers, a path too long for the file) changes nothing.
bool ChangesStoredData(const CacheEntry& before, const CacheEntry& after) {
  if (!IsStorable(before) && !IsStorable(after)) return false;
  return !before.SameStoredData(after);
}

}  // namespace

VerificationCache::~VerificationCache() {
  std::vector<CacheEntry> discarded;
  WriteBack(discarded);
}

CacheEntry* VerificationCache::FindFirst(const std::wstring& path) {
  std::wstring folded = platform::FoldAscii(path);
  const auto found = firstEntry_.find(folded);
  if (found != firstEntry_.end()) return &entries_[found->second];
  // The file's record, if it has one, is the first entry of that path: a
  // path is looked for in the file before it is ever added.
  CacheEntry entry;
  size_t origin = 0;
  if (!fileRecords_.FindFirst(path, entry, origin)) return nullptr;
  firstEntry_.emplace(std::move(folded), entries_.size());
  return &Append(std::move(entry), origin);
}

CacheEntry& VerificationCache::Append(CacheEntry entry, size_t origin) {
  origins_.push_back(origin);
  return entries_.emplace_back(std::move(entry));
}

SignatureVerdict VerificationCache::Lookup(const std::wstring& path, std::wstring& signer) {
  return LookupStamped(path, nullptr, signer);
}

SignatureVerdict VerificationCache::Lookup(const std::wstring& path, const FileStamp& stamp, std::wstring& signer) {
  return LookupStamped(path, &stamp, signer);
}

SignatureVerdict VerificationCache::LookupStamped(const std::wstring& path, const FileStamp* knownStamp,
                                                  std::wstring& signer) {
  signer.clear();
  if (path.empty() || filePath_.empty()) return SignatureVerdict::Unavailable;
  if (!loaded_) {
    Load();
    loaded_ = true;
  }
  const CacheEntry* entry = FindFirst(path);
  if (entry == nullptr) return SignatureVerdict::Unavailable;
  FileStamp stamp;
  if (knownStamp != nullptr) {
    stamp = *knownStamp;
  } else if (!ReadFileStamp(path, stamp)) {
    return SignatureVerdict::Unavailable;
  }
  if (entry->Stamp() != stamp) return SignatureVerdict::Unavailable;
  if (checkDigest_) {
    if (entry->digest.empty()) return SignatureVerdict::Unavailable;
    if (platform::FoldAscii(entry->digest) != platform::FoldAscii(DigestOrEmpty(path))) {
      return SignatureVerdict::Unavailable;
    }
  }
  signer = entry->signer;
  return entry->verdict;
}

void VerificationCache::Record(SignatureVerdict verdict, const std::wstring& path, const std::wstring& signer) {
  // A file whose attributes cannot be read is recorded with zeros, which no
  // later lookup matches.
  FileStamp stamp;
  ReadFileStamp(path, stamp);
  Record(verdict, path, signer, stamp);
}

void VerificationCache::Record(SignatureVerdict verdict, const std::wstring& path, const std::wstring& signer,
                               const FileStamp& stamp) {
  if (path.empty()) return;
  CacheEntry* entry = FindFirst(path);
  if (entry == nullptr) {
    firstEntry_.emplace(platform::FoldAscii(path), entries_.size());
    entry = &Append({}, kRecordedHere);
  }
  const CacheEntry old = *entry;
  entry->signer = signer;
  entry->path = path;
  entry->size = stamp.size;
  entry->lastWriteTime = stamp.lastWriteTime;
  entry->creationTime = stamp.creationTime;
  entry->verdict = verdict;
  // The stored digest belongs to the old content: keep it only while
  // everything it was recorded with is unchanged.
  const bool unchanged =
      entry->signer == old.signer && entry->Stamp() == old.Stamp() && entry->verdict == old.verdict;
  if (!unchanged) entry->digest.clear();
  if (checkDigest_) entry->digest = DigestOrEmpty(path);
  if (!entry->SameStoredData(old)) entry->dirty = true;
}

void VerificationCache::Forget(const std::wstring& path) {
  if (path.empty()) return;
  CacheEntry* entry = FindFirst(path);
  if (entry == nullptr) return;
  entry->verdict = SignatureVerdict::Unavailable;
  entry->size = 0;
  entry->lastWriteTime = 0;
  entry->creationTime = 0;
  entry->signer.clear();
  entry->digest.clear();
}

void VerificationCache::SetFile(const std::wstring& path) {
  if (path == filePath_) return;
  Flush();
  filePath_ = path;
  AdoptEntries({});
  loaded_ = false;
}

void VerificationCache::Flush() {
  std::vector<CacheEntry> merged;
  if (WriteBack(merged)) AdoptEntries(std::move(merged));
}

void VerificationCache::Reset() {
  filePath_.clear();
  AdoptEntries({});
  loaded_ = false;
}

void VerificationCache::AdoptEntries(std::vector<CacheEntry> entries) {
  entries_ = std::move(entries);
  origins_.resize(entries_.size());
  for (size_t i = 0; i < origins_.size(); ++i) origins_[i] = i;
  firstEntry_ = IndexFirstEntries(entries_);
  fileRecords_.Clear();
}

void VerificationCache::Load() {
  AdoptEntries({});
  CacheFileLock lock(filePath_);
  // Held without sharing while it is read, whether or not the lock was had:
  // a writer that works without the lock cannot change it meanwhile. Its
  // records are copied whole, and deciphered only as they are asked for.
  platform::UniqueFileHandle file = OpenCacheFile(filePath_, CacheFileAccess::kRead);
  if (file && ReadCacheFileFrom(file.Get(), fileRecords_) == CacheFileContent::kCorrupt) {
    // Deleted as the handle closes, so no file written after it is lost.
    FileSystem::DeleteOnClose(file.Get());
  }
}

bool VerificationCache::WriteBack(std::vector<CacheEntry>& merged) {
  if (filePath_.empty() || entries_.empty()) return false;
  bool anyDirty = false;
  for (const CacheEntry& entry : entries_) anyDirty = anyDirty || entry.dirty;
  if (!anyDirty) return false;

  // The file stays open without sharing from the read to the end of the
  // write: another process, with or without the lock, cannot merge from the
  // same old content and then overwrite this one's records (or the reverse).
  CacheFileLock lock(filePath_);
  platform::UniqueFileHandle file = OpenCacheFile(filePath_, CacheFileAccess::kUpdate);
  if (!file) return false;
  std::vector<CacheEntry> fileEntries;
  // Kept to be put back should the write fail part-way.
  CacheFileBytes bytesRead;
  const CacheFileContent content = ReadCacheFileFrom(file.Get(), fileEntries, &bytesRead);
  // A file that is there but could not be read holds records of other
  // processes: it is never replaced, and the entries stay changed for the
  // next write-back.
  if (content == CacheFileContent::kUnreadable) return false;
  std::unordered_map<std::wstring, size_t> fileIndex = IndexFirstEntries(fileEntries);

  // A damaged or oversized file is replaced even when nothing of ours is new.
  bool changed = content == CacheFileContent::kCorrupt || content == CacheFileContent::kTooLarge;
  std::vector<size_t> dirty;
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].dirty) dirty.push_back(i);
  }
  std::stable_sort(dirty.begin(), dirty.end(), [this](size_t a, size_t b) { return origins_[a] < origins_[b]; });
  for (const size_t i : dirty) {
    const CacheEntry& entry = entries_[i];
    const auto [slot, added] = fileIndex.try_emplace(platform::FoldAscii(entry.path), fileEntries.size());
    if (added) fileEntries.emplace_back();
    CacheEntry& target = fileEntries[slot->second];
    changed = changed || ChangesStoredData(target, entry);
    target = entry;
  }
  // With no storable entry left (a verdict downgraded), the file is cut to
  // no records rather than left holding the old verdict.
  if (!changed || !WriteCacheFileTo(file.Get(), fileEntries, bytesRead)) return false;

  for (CacheEntry& entry : fileEntries) entry.dirty = false;
  merged = std::move(fileEntries);
  return true;
}
