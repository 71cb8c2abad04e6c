// The verification cache file: one cipher frame whose plaintext is a packed
// array of 1000-byte records. None of these functions takes the cache mutex;
// the store calls them under it, or after failing to get it, and then relies
// on holding the file itself open without sharing for a whole cycle.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cache/cache_entry.h"
#include "cache/enciphered_records.h"
#include "platform/unique_handle.h"
#include "platform/win.h"

// How a read through an open handle ended.
enum class CacheFileContent {
  kRecords,     // a valid frame; the entries are its records
  kEmpty,       // a file of no bytes: no records, nothing to repair
  kTooLarge,    // 5 MiB or more: never read, may be replaced
  kUnreadable,  // the read failed or came back short: leave the file alone
  kCorrupt,     // not a cache file: may be replaced or deleted
};

// True for the entries that a write stores: a verdict of NotSigned, Valid or
// Expired, a path of at most 319 and a signer of at most 127 characters. A
// longer path or signer would be stored cut and could never be matched (or
// would be matched to the wrong signer), so such an entry is not stored at
// all. A digest longer than 35 characters is never an MD5 text; it is stored
// empty, which makes a digest check miss rather than compare a cut value.
bool IsStorable(const CacheEntry& entry);

// Opens the cache file without sharing, so that no other process can read or
// write it until the handle is closed. kRead: an existing file, for reading
// (and for deleting it through the handle). kUpdate: reading and writing,
// created when missing together with its folder. A link is never opened, nor
// what it leads to: such a file cannot be used. While another process has
// the file open the open is retried for up to kShareRetryMilliseconds. An
// invalid handle when the file cannot be had.
enum class CacheFileAccess { kRead, kUpdate };
inline constexpr DWORD kShareRetryMilliseconds = 2000;
platform::UniqueFileHandle OpenCacheFile(const std::wstring& path, CacheFileAccess access);

// The bytes of a cache file as read, kept to be put back. Decoding them
// deciphers their blocks where they lie (`deciphered`); the cipher works on
// each block alone, so enciphering them again gives back the bytes read.
struct CacheFileBytes {
  std::unique_ptr<uint8_t[]> data;
  uint32_t size = 0;
  bool deciphered = false;
};

// Reads the whole file from its start through `file` into `entries` (emptied
// first, filled only for kRecords). With `bytesRead`, the bytes read are kept
// there (none for kTooLarge and kUnreadable).
CacheFileContent ReadCacheFileFrom(HANDLE file, std::vector<CacheEntry>& entries,
                                   CacheFileBytes* bytesRead = nullptr);

// The same, keeping the records enciphered in `records` (cleared first,
// filled only for kRecords) to be deciphered one at a time as they are
// asked for. Every outcome is the one the full read would have.
CacheFileContent ReadCacheFileFrom(HANDLE file, EncipheredRecords& records);

// Replaces the whole content of `file` with the storable entries, in list
// order; with none, the file is cut to no bytes, which every reader takes as
// "no records". False when the write failed or came short (a full disk);
// the file then holds `previous` again, the bytes that the caller read
// through the same handle.
bool WriteCacheFileTo(HANDLE file, const std::vector<CacheEntry>& entries, CacheFileBytes& previous);

// Reads the file at `path` into `entries` (emptied first). False when the
// file is missing, cannot be opened (e.g. held by another process), is empty,
// too large (5 MiB or more) or not a valid cache file; `corrupt` is set only
// in the last case, when the caller should delete the file. A record with a
// wrong magic makes the whole file corrupt. Opens once, without retrying.
bool ReadCacheFile(const std::wstring& path, std::vector<CacheEntry>& entries, bool& corrupt);

// Writes the storable entries in list order, creating the file's folder when
// needed. False, with the file untouched, when there is no such entry, the
// file cannot be opened or is a link; false too when the write failed, after
// which the file holds what it held before.
bool WriteCacheFile(const std::wstring& path, const std::vector<CacheEntry>& entries);
