// The records of a cache file kept as they were read, enciphered, so that a
// launcher asking for one or two of them does not decipher thousands. Only
// the first 8-byte block of each record is deciphered up front: it holds the
// record's magic, and a wrong magic anywhere makes the whole file corrupt,
// as for the full read. The cipher works on every block alone, so the
// blocks of a looked-up path, enciphered in each of its A to Z case
// variants, can be compared with the stored ones as they are; only a record
// that matches them is deciphered whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cache/cache_entry.h"

class EncipheredRecords {
 public:
  // Takes `frame`, the `length` bytes of a whole cache file. True when the
  // full read would take its records, which are then kept; false, with no
  // records kept, exactly when the full read would find the file corrupt.
  bool Adopt(std::unique_ptr<uint8_t[]> frame, uint32_t length);

  size_t Count() const { return count_; }

  // The first record in file order whose path equals `path` with A to Z
  // folded, decoded as the full read decodes it, and its place in the file.
  // False, with the outputs untouched, when there is none.
  bool FindFirst(const std::wstring& path, CacheEntry& entry, size_t& index) const;

  // Forgets every record.
  void Clear();

 private:
  const uint8_t* Record(size_t index) const;

  std::unique_ptr<uint8_t[]> frame_;
  size_t count_ = 0;
  // The deciphered first block of each record, 8 bytes each: the magic and
  // the path's first two units.
  std::vector<uint8_t> firstBlocks_;
};
