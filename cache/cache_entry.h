// One cached signature verdict in memory.
#pragma once

#include <cstdint>
#include <string>

#include "cache/file_stamp.h"
#include "platform/signature_verdict.h"

struct CacheEntry {
  std::wstring path;    // as the caller spelled it; matched ignoring ASCII case
  std::wstring signer;  // may be empty
  std::wstring digest;  // MD5 as hexadecimal text, or empty
  uint64_t size = 0;
  uint64_t lastWriteTime = 0;  // FILETIME as one number
  uint64_t creationTime = 0;
  platform::SignatureVerdict verdict = platform::SignatureVerdict::Unavailable;
  bool dirty = false;  // changed since last read from or written to the file; never stored

  FileStamp Stamp() const { return {size, lastWriteTime, creationTime}; }

  // Equal in everything that is stored (the dirty flag does not count).
  bool SameStoredData(const CacheEntry& other) const {
    return path == other.path && signer == other.signer && digest == other.digest && size == other.size &&
           lastWriteTime == other.lastWriteTime && creationTime == other.creationTime && verdict == other.verdict;
  }
};
