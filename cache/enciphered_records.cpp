#include "cache/enciphered_records.h"

#include <bit>
#include <cstring>

#include "cache/cache_file_record.h"
#include "cache/gost_cipher.h"
#include "platform/ascii_fold.h"

namespace {

using cache_file_record::kPathOffset;
using cache_file_record::kPathUnits;
using cache_file_record::kSize;

constexpr size_t kBlock = 8;
constexpr size_t kUnitsPerBlock = kBlock / 2;
// Block 0 holds the magic and the path's first units; every later block of
// the path field holds four units.
constexpr size_t kUnitsInFirstBlock = (kBlock - kPathOffset) / 2;
static_assert(kPathOffset % 2 == 0 && kPathOffset < kBlock && kSize % kBlock == 0);

size_t BlockOfUnit(size_t unit) { return (kPathOffset + 2 * unit) / kBlock; }
size_t FirstUnitOfBlock(size_t block) { return (kBlock * block - kPathOffset) / 2; }

bool IsAsciiLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// A stored path's units are neither zero nor wider than 16 bits (wchar_t
// is wider in the native fuzz build).
bool IsStorableUnit(uint32_t unit) { return unit != 0 && unit <= 0xFFFF; }

uint16_t UnitAt(const uint8_t* bytes) { return static_cast<uint16_t>(bytes[0] | bytes[1] << 8); }

uint64_t BlockValue(const uint8_t* bytes) {
  uint64_t value;
  std::memcpy(&value, bytes, kBlock);
  return value;
}

// The enciphered forms of the whole blocks of a path, each in every A to Z
// case variant (at most 16 per block), for comparing with stored records.
class PathBlocks {
 public:
  PathBlocks(const std::wstring& path, size_t endBlock, const GostKey& key) : starts_(endBlock + 1, 0) {
    std::vector<uint8_t> plain;
    for (size_t block = 1; block < endBlock; ++block) {
      starts_[block] = plain.size() / kBlock;
      const size_t firstUnit = FirstUnitOfBlock(block);
      unsigned letters = 0;
      for (size_t j = 0; j < kUnitsPerBlock; ++j) letters |= IsAsciiLetter(path[firstUnit + j]) ? (1u << j) : 0u;
      for (unsigned upper = 0; upper < (1u << kUnitsPerBlock); ++upper) {
        if ((upper & ~letters) != 0) continue;
        for (size_t j = 0; j < kUnitsPerBlock; ++j) {
          wchar_t c = path[firstUnit + j];
          if (letters & (1u << j)) c = static_cast<wchar_t>((upper & (1u << j)) ? (c & ~0x20) : (c | 0x20));
          plain.push_back(static_cast<uint8_t>(c));
          plain.push_back(static_cast<uint8_t>(c >> 8));
        }
      }
    }
    starts_[endBlock] = plain.size() / kBlock;
    if (!plain.empty()) GostCryptBlocks(key, plain.data(), static_cast<uint32_t>(plain.size()), plain.data(), true);
    variants_.resize(plain.size() / kBlock);
    for (size_t i = 0; i < variants_.size(); ++i) variants_[i] = BlockValue(&plain[i * kBlock]);
  }

  // True when `stored`, the ciphertext of `block`, is one of the path's
  // variants.
  bool Matches(size_t block, uint64_t stored) const {
    for (size_t i = starts_[block]; i < starts_[block + 1]; ++i) {
      if (variants_[i] == stored) return true;
    }
    return false;
  }

 private:
  std::vector<size_t> starts_;  // first variant of each block
  std::vector<uint64_t> variants_;
};

// The path units in a record's deciphered first block against the path's
// own, A to Z folded; a path that ends there must end in the record too.
bool FirstBlockMatches(const uint8_t* firstBlock, const std::wstring& path) {
  for (size_t i = 0; i < kUnitsInFirstBlock; ++i) {
    const uint16_t stored = UnitAt(firstBlock + kPathOffset + 2 * i);
    if (i == path.size()) return stored == 0;
    if (platform::FoldAscii(static_cast<wchar_t>(stored)) != platform::FoldAscii(path[i])) return false;
  }
  return true;
}

}  // namespace

bool EncipheredRecords::Begin(const uint8_t* header, uint32_t length) {
  Clear();
  // The frame of no plaintext is empty.
  if (length == 0) return true;
  uint32_t plainLength = 0;
  if (!GostCheckFrame(header, length, plainLength) || plainLength % kSize != 0) return false;
  expected_ = plainLength / kSize;
  places_.reserve(expected_);
  firstBlocks_.reserve(expected_ * kBlock);
  // Room for every block: only what is filled costs memory.
  blocks_.reserve(expected_ * kBlocksPerRecord);
  GostKey key;
  MakeCacheKey(key);
  uint8_t zeros[kBlock] = {};
  GostCryptBlocks(key, zeros, kBlock, zeros, true);
  zeroBlock_ = BlockValue(zeros);
  return true;
}

bool EncipheredRecords::Add(const uint8_t* records, size_t count) {
  if (count > expected_ - count_) {
    Clear();
    return false;
  }
  const size_t firstNew = firstBlocks_.size();
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* record = records + i * kSize;
    firstBlocks_.insert(firstBlocks_.end(), record, record + kBlock);
    Place& place = places_.emplace_back();
    place.first = blocks_.size();
    for (size_t block = 0; block < kBlocksPerRecord; ++block) {
      const uint64_t value = BlockValue(record + block * kBlock);
      if (value == zeroBlock_) continue;
      place.kept[block / 64] |= uint64_t{1} << (block % 64);
      blocks_.push_back(value);
    }
  }
  GostKey key;
  MakeCacheKey(key);
  uint8_t* deciphered = firstBlocks_.data() + firstNew;
  GostCryptBlocks(key, deciphered, static_cast<uint32_t>(count * kBlock), deciphered, false);
  for (size_t i = 0; i < count; ++i) {
    if (!cache_file_record::HasMagic(deciphered + i * kBlock)) {
      Clear();
      return false;
    }
  }
  count_ += count;
  return true;
}

bool EncipheredRecords::Adopt(const uint8_t* frame, uint32_t length) {
  if (!Begin(frame, length)) return false;
  return Add(frame + (length == 0 ? 0 : kGostFrameHeaderSize), expected_);
}

uint64_t EncipheredRecords::BlockAt(size_t record, size_t block) const {
  const Place& place = places_[record];
  const uint64_t bit = uint64_t{1} << (block % 64);
  if ((place.kept[block / 64] & bit) == 0) return zeroBlock_;
  size_t before = static_cast<size_t>(std::popcount(place.kept[block / 64] & (bit - 1)));
  if (block >= 64) before += static_cast<size_t>(std::popcount(place.kept[0]));
  return blocks_[place.first + before];
}

void EncipheredRecords::CopyRecord(size_t record, uint8_t* bytes) const {
  for (size_t block = 0; block < kBlocksPerRecord; ++block) {
    const uint64_t value = BlockAt(record, block);
    std::memcpy(bytes + block * kBlock, &value, kBlock);
  }
}

bool EncipheredRecords::FindFirst(const std::wstring& path, CacheEntry& entry, size_t& index) const {
  // A stored path has at most 319 units.
  if (count_ == 0 || path.size() >= kPathUnits) return false;
  for (const wchar_t c : path) {
    if (!IsStorableUnit(static_cast<uint32_t>(c))) return false;
  }
  // The block with the terminator (for 319 units the field's last unit,
  // which readers ignore) goes on with anything at all: signer text, or
  // bytes another writer left after a terminator. Only the whole blocks
  // before it are compared enciphered; a record that passes is deciphered
  // and compared as the full read compares it.
  const size_t endBlock = BlockOfUnit(path.size());
  GostKey key;
  MakeCacheKey(key);
  const PathBlocks blocks(path, endBlock, key);
  const std::wstring folded = platform::FoldAscii(path);
  for (size_t i = 0; i < count_; ++i) {
    if (!FirstBlockMatches(&firstBlocks_[i * kBlock], path)) continue;
    // From the end: paths in one folder differ in their last blocks.
    bool candidate = true;
    for (size_t block = endBlock; candidate && block-- > 1;) candidate = blocks.Matches(block, BlockAt(i, block));
    if (!candidate) continue;
    uint8_t plain[kSize];
    CopyRecord(i, plain);
    GostCryptBlocks(key, plain, kSize, plain, false);
    CacheEntry found;
    cache_file_record::Decode(plain, found);
    if (platform::FoldAscii(found.path) != folded) continue;
    entry = std::move(found);
    index = i;
    return true;
  }
  return false;
}

void EncipheredRecords::Clear() {
  count_ = 0;
  expected_ = 0;
  places_ = {};
  blocks_ = {};
  firstBlocks_ = {};
}
