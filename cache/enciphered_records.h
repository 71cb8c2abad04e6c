// The records of a cache file kept as they were read, enciphered, so that a
// launcher asking for one or two of them does not decipher thousands, nor
// keep a copy of the whole file. Only the first 8-byte block of each record
// is deciphered up front: it holds the record's magic, and a wrong magic
// anywhere makes the whole file corrupt, as for the full read. The cipher works on every block alone, so the
// blocks of a looked-up path, enciphered in each of its A to Z case
// variants, can be compared with the stored ones as they are; only a record
// that matches them is deciphered whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cache/cache_entry.h"
#include "cache/cache_file_record.h"

class EncipheredRecords {
 public:
  // Takes the header of a frame whose whole length is `length`; its records
  // follow through Add. False, with no records kept, exactly when the full
  // read would find the frame corrupt for its header or length alone.
  bool Begin(const uint8_t* header, uint32_t length);
  // How many bytes of records Begin's frame holds, to be passed to Add.
  size_t BytesExpected() const { return expected_ * cache_file_record::kSize; }
  // Keeps `count` more enciphered records, read in file order. False, with no
  // records kept, when one lacks the magic (the full read's corrupt file).
  bool Add(const uint8_t* records, size_t count);

  // Begin and Add over the `length` bytes of a whole cache file in memory.
  bool Adopt(const uint8_t* frame, uint32_t length);

  size_t Count() const { return count_; }

  // The first record in file order whose path equals `path` with A to Z
  // folded, decoded as the full read decodes it, and its place in the file.
  // False, with the outputs untouched, when there is none.
  bool FindFirst(const std::wstring& path, CacheEntry& entry, size_t& index) const;

  // Forgets every record.
  void Clear();

 private:
  static constexpr size_t kBlocksPerRecord = cache_file_record::kSize / 8;

  // Where a record's blocks are kept: most of a record is the zero padding
  // of its text fields, whose enciphered blocks all equal zeroBlock_ and are
  // left out, so that a large file costs a fraction of its size in memory.
  struct Place {
    size_t first = 0;   // its first kept block in blocks_
    uint64_t kept[2] = {};  // bit b: block b is in blocks_ (else zeroBlock_)
  };

  uint64_t BlockAt(size_t record, size_t block) const;
  void CopyRecord(size_t record, uint8_t* bytes) const;

  size_t count_ = 0;
  size_t expected_ = 0;
  uint64_t zeroBlock_ = 0;
  std::vector<Place> places_;
  std::vector<uint64_t> blocks_;
  // The deciphered first block of each record, 8 bytes each: the magic and
  // the path's first two units.
  std::vector<uint8_t> firstBlocks_;
};
