#include "cache/cache_file_record.h"

#include <cstring>

#include "cache/cache_constants.h"

namespace cache_file_record {
namespace {

void PutLe(uint8_t* at, uint64_t value, size_t bytes) {
  for (size_t i = 0; i < bytes; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint64_t GetLe(const uint8_t* at, size_t bytes) {
  uint64_t value = 0;
  for (size_t i = 0; i < bytes; ++i) value |= uint64_t{at[i]} << (8 * i);
  return value;
}

// Copies at most `maxUnits` units of `text` as UTF-16LE; the zeroed field
// supplies the terminator.
void PutText(uint8_t* field, const std::wstring& text, size_t maxUnits) {
  const size_t units = text.size() < maxUnits ? text.size() : maxUnits;
  for (size_t i = 0; i < units; ++i) PutLe(field + 2 * i, static_cast<uint16_t>(text[i]), 2);
}

// The text up to its first zero; the field's last unit always counts as zero,
// whatever a foreign writer left there. On Windows the units are copied
// straight into the string, whose storage is the only allocation; where
// wchar_t is wider (the native fuzz build) they are widened one by one.
void GetText(const uint8_t* field, size_t fieldUnits, std::wstring& text) {
  size_t units = 0;
  while (units + 1 < fieldUnits && (field[2 * units] | field[2 * units + 1]) != 0) ++units;
  text.assign(units, L'\0');
  if constexpr (sizeof(wchar_t) == 2) {
    if (units != 0) std::memcpy(text.data(), field, 2 * units);
  } else {
    for (size_t i = 0; i < units; ++i) text[i] = static_cast<wchar_t>(GetLe(field + 2 * i, 2));
  }
}

// How much of a text the writer keeps: the whole text when it fits with its
// terminator, else the cut length. The cut lengths are part of the format.
size_t KeptUnits(const std::wstring& text, size_t fitsWhole, size_t cutTo) {
  return text.size() <= fitsWhole ? text.size() : cutTo;
}

// A digest too long for its field is no MD5 text: a cut copy would only ever
// be compared wrongly, so none is kept.
size_t KeptDigestUnits(const std::wstring& digest) { return digest.size() < kDigestUnits ? digest.size() : 0; }

}  // namespace

void Encode(const CacheEntry& entry, uint8_t* record) {
  PutLe(record + kMagicOffset, cache_constants::kRecordMagic, 4);
  PutText(record + kPathOffset, entry.path, KeptUnits(entry.path, kPathUnits - 1, kPathUnits - 2));
  PutText(record + kSignerOffset, entry.signer, KeptUnits(entry.signer, kSignerUnits - 1, kSignerUnits - 2));
  PutText(record + kDigestOffset, entry.digest, KeptDigestUnits(entry.digest));
  PutLe(record + kSizeOffset, entry.size, 8);
  PutLe(record + kLastWriteTimeOffset, entry.lastWriteTime, 8);
  PutLe(record + kCreationTimeOffset, entry.creationTime, 8);
  PutLe(record + kVerdictOffset, static_cast<uint32_t>(entry.verdict), 4);
}

bool HasMagic(const uint8_t* record) { return GetLe(record + kMagicOffset, 4) == cache_constants::kRecordMagic; }

void Decode(const uint8_t* record, CacheEntry& entry) {
  GetText(record + kPathOffset, kPathUnits, entry.path);
  GetText(record + kSignerOffset, kSignerUnits, entry.signer);
  GetText(record + kDigestOffset, kDigestUnits, entry.digest);
  entry.size = GetLe(record + kSizeOffset, 8);
  entry.lastWriteTime = GetLe(record + kLastWriteTimeOffset, 8);
  entry.creationTime = GetLe(record + kCreationTimeOffset, 8);
  entry.verdict = static_cast<platform::SignatureVerdict>(GetLe(record + kVerdictOffset, 4));
  entry.dirty = false;
}

}  // namespace cache_file_record
