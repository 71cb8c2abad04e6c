// Any bytes as the plaintext of a cache file: the reader must take exactly
// the files made of whole records that all carry the magic, decode each
// field from its published offset, and what it read must survive being
// written and read again unchanged. The record finder, which deciphers only
// what a lookup needs, must give the full read's answer to every lookup.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cache/cache_file.h"
#include "cache/cache_file_record.h"
#include "cache/enciphered_records.h"
#include "cache/gost_cipher.h"
#include "platform/ascii_fold.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/in_memory_windows.h"

namespace {

uint64_t Le(const uint8_t* at, size_t bytes) {
  uint64_t value = 0;
  for (size_t i = 0; i < bytes; ++i) value |= uint64_t{at[i]} << (8 * i);
  return value;
}

// The text of a field as every reader of the format sees it.
std::wstring FieldText(const uint8_t* field, size_t units) {
  std::wstring text;
  for (size_t i = 0; i + 1 < units && Le(field + 2 * i, 2) != 0; ++i) {
    text.push_back(static_cast<wchar_t>(Le(field + 2 * i, 2)));
  }
  return text;
}

// The full read's answer: the first entry whose path matches.
const CacheEntry* FirstMatch(const std::vector<CacheEntry>& entries, const std::wstring& path, size_t& index) {
  for (index = 0; index < entries.size(); ++index) {
    if (platform::FoldAscii(entries[index].path) == platform::FoldAscii(path)) return &entries[index];
  }
  return nullptr;
}

// Paths to look up: each record's own, in other letter cases (the case of
// each letter taken from the input), one unit longer and one shorter, and
// a few that no record need hold.
std::vector<std::wstring> LookupPaths(const std::vector<CacheEntry>& entries, const uint8_t* data, size_t size) {
  std::vector<std::wstring> paths = {L"", L"C:\\app\\a.dll", std::wstring(319, L'p'), std::wstring(320, L'p')};
  size_t at = 0;
  for (const CacheEntry& entry : entries) {
    std::wstring mixed = entry.path;
    for (wchar_t& c : mixed) {
      const bool letter = (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
      if (letter && size > 0 && (data[at++ % size] & 1)) c = static_cast<wchar_t>(c ^ 0x20);
    }
    paths.push_back(entry.path);
    paths.push_back(mixed);
    paths.push_back(entry.path + L"x");
    if (!entry.path.empty()) paths.push_back(entry.path.substr(0, entry.path.size() - 1));
  }
  return paths;
}

// The finder against the full read on the file at `file`.
void CheckFinder(const std::wstring& file, bool read, const std::vector<CacheEntry>& entries, const uint8_t* data,
                 size_t size) {
  EncipheredRecords records;
  {
    platform::UniqueFileHandle handle = OpenCacheFile(file, CacheFileAccess::kRead);
    FUZZ_CHECK(handle);
    const CacheFileContent content = ReadCacheFileFrom(handle.Get(), records);
    FUZZ_CHECK((content == CacheFileContent::kRecords) == read);
  }
  FUZZ_CHECK(records.Count() == entries.size());
  for (const std::wstring& path : LookupPaths(entries, data, size)) {
    size_t expectedIndex = 0;
    const CacheEntry* expected = FirstMatch(entries, path, expectedIndex);
    CacheEntry found;
    size_t index = 0;
    FUZZ_CHECK(records.FindFirst(path, found, index) == (expected != nullptr));
    if (expected == nullptr) continue;
    FUZZ_CHECK(index == expectedIndex);
    FUZZ_CHECK(found.SameStoredData(*expected) && !found.dirty);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace cache_file_record;
  if (size > 64 * kSize) return 0;
  in_memory_windows::Reset();
  GostKey key;
  MakeCacheKey(key);
  ByteArray frame;
  FUZZ_CHECK(GostEncryptBuffer(key, data, static_cast<uint32_t>(size), frame));
  const std::wstring file = L"C:\\app\\SignCache.dat";
  in_memory_windows::PutFile(file, frame);

  std::vector<CacheEntry> entries;
  bool corrupt = false;
  const bool read = ReadCacheFile(file, entries, corrupt);
  FUZZ_CHECK(in_memory_windows::OpenHandleCount() == 0);

  bool wellFormed = size % kSize == 0;
  for (size_t at = 0; wellFormed && at < size; at += kSize) wellFormed = Le(data + at, 4) == 0x23AB45DB;
  if (size == 0) {
    FUZZ_CHECK(!read && !corrupt && entries.empty());
    return 0;
  }
  FUZZ_CHECK(read == wellFormed && corrupt == !wellFormed);
  CheckFinder(file, read, entries, data, size);
  if (!read) {
    FUZZ_CHECK(entries.empty());
    return 0;
  }

  FUZZ_CHECK(entries.size() == size / kSize);
  std::vector<CacheEntry> storable;
  for (size_t i = 0; i < entries.size(); ++i) {
    const uint8_t* record = data + i * kSize;
    const CacheEntry& entry = entries[i];
    FUZZ_CHECK(entry.path == FieldText(record + kPathOffset, kPathUnits));
    FUZZ_CHECK(entry.signer == FieldText(record + kSignerOffset, kSignerUnits));
    FUZZ_CHECK(entry.digest == FieldText(record + kDigestOffset, kDigestUnits));
    FUZZ_CHECK(entry.size == Le(record + kSizeOffset, 8));
    FUZZ_CHECK(entry.lastWriteTime == Le(record + kLastWriteTimeOffset, 8));
    FUZZ_CHECK(entry.creationTime == Le(record + kCreationTimeOffset, 8));
    FUZZ_CHECK(static_cast<uint32_t>(entry.verdict) == Le(record + kVerdictOffset, 4));
    FUZZ_CHECK(!entry.dirty);
    // Whatever was read fits its field again; only the verdict decides.
    FUZZ_CHECK(IsStorable(entry) == platform::IsCacheableVerdict(entry.verdict));
    if (IsStorable(entry)) storable.push_back(entry);
  }

  // Round trip: written and read back, every stored record is unchanged.
  const std::wstring copy = L"C:\\app\\copy\\SignCache.dat";
  const bool wrote = WriteCacheFile(copy, entries);
  FUZZ_CHECK(wrote == !storable.empty());
  if (!wrote) return 0;
  std::vector<CacheEntry> again;
  FUZZ_CHECK(ReadCacheFile(copy, again, corrupt));
  FUZZ_CHECK(again.size() == storable.size());
  for (size_t i = 0; i < again.size(); ++i) FUZZ_CHECK(again[i].SameStoredData(storable[i]));
  return 0;
}
