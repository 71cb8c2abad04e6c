// Writes the starting corpora of the fuzz targets into DIR/frame, DIR/record
// and DIR/store: real frames and record files made by the product's own
// writer, and operation sequences that reach each path of the store.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cache/cache_file_record.h"
#include "cache/gost_cipher.h"

namespace {

void Write(const std::filesystem::path& file, const ByteArray& bytes) {
  std::ofstream out(file, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

CacheEntry Entry(std::wstring path, std::wstring signer, uint32_t verdict) {
  CacheEntry entry;
  entry.path = std::move(path);
  entry.signer = std::move(signer);
  entry.digest = L"900150983CD24FB0D6963F7D28E17F72";
  entry.size = 0x123456789ull;
  entry.lastWriteTime = 0x01D9ABCDEF012345ull;
  entry.creationTime = 0x01D8000011112222ull;
  entry.verdict = static_cast<platform::SignatureVerdict>(verdict);
  return entry;
}

ByteArray Plain(const std::vector<CacheEntry>& entries) {
  ByteArray plain(entries.size() * cache_file_record::kSize, 0);
  for (size_t i = 0; i < entries.size(); ++i) {
    cache_file_record::Encode(entries[i], &plain[i * cache_file_record::kSize]);
  }
  return plain;
}

ByteArray Frame(const ByteArray& plain) {
  GostKey key;
  MakeCacheKey(key);
  ByteArray frame;
  GostEncryptBuffer(key, plain.data(), static_cast<uint32_t>(plain.size()), frame);
  return frame;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: seed_generator DIR\n");
    return 1;
  }
  const std::filesystem::path root = argv[1];
  for (const char* name : {"frame", "record", "store"}) std::filesystem::create_directories(root / name);

  const CacheEntry plain = Entry(L"C:\\app\\a.dll", L"Varo Test Signer", 2);
  const CacheEntry longest = Entry(L"C:\\" + std::wstring(316, L'p'), std::wstring(127, L's'), 3);
  const CacheEntry foreign = Entry(L"C:\\app\\\u00C9.dll", L"", 7);
  const std::vector<std::vector<CacheEntry>> files = {{plain}, {plain, longest}, {longest, foreign, plain}};

  int n = 0;
  for (const auto& entries : files) {
    const ByteArray bytes = Plain(entries);
    Write(root / "record" / ("records-" + std::to_string(n)), bytes);
    Write(root / "frame" / ("records-" + std::to_string(n)), Frame(bytes));
    ++n;
  }
  ByteArray wrongMagic = Plain({plain, plain});
  wrongMagic[cache_file_record::kSize] ^= 1;
  Write(root / "record" / "wrong-magic", wrongMagic);
  ByteArray ragged = Plain({plain});
  ragged.push_back(0);
  Write(root / "record" / "ragged", ragged);
  for (uint32_t length : {0u, 1u, 7u, 8u, 13u}) {
    Write(root / "frame" / ("plain-" + std::to_string(length)), Frame(ByteArray(length, 0x5A)));
  }
  ByteArray keyed(33, 0x11);
  keyed[0] = 1;
  const ByteArray tail = Frame(ByteArray(24, 0xA5));
  keyed.insert(keyed.end(), tail.begin(), tail.end());
  Write(root / "frame" / "own-key", keyed);

  // Store operations (see store_fuzzer.cpp): op byte (its low seven bits
  // modulo 12 name the operation), then its arguments; the op's top bit picks
  // the second cache.
  const std::vector<ByteArray> sequences = {
      {2, 0, 0, 1, 0, 1, 3},                               // look up, record a Valid, flush
      {2, 0, 0, 1, 0, 1, 3, 130, 2, 128, 2, 2, 1, 131},    // two caches, two paths
      {0, 1, 0, 1, 3, 4, 2, 0, 1, 0, 0, 4, 0, 1, 3},       // downgrade the only record
      {0, 1, 6, 1, 0, 1, 5, 1, 3},                         // path too long for the file
      {0, 1, 0, 1, 5, 255, 3, 5, 3, 3},                    // file busy for long, then briefly
      {6, 2, 2, 0, 0, 1, 0, 1, 3, 6, 1, 3, 6, 0, 3},       // lock held, squatted, free
      {0, 1, 0, 1, 3, 0, 1, 2, 1, 7, 3, 9, 1, 3, 9, 0, 3}, // unreadable file is not replaced
      {0, 1, 0, 3, 3, 0, 1, 0, 4, 3, 8, 0, 9, 2, 0},       // long signer, changed file
      {0, 1, 0, 1, 3, 10, 2, 2, 0, 2, 2, 1, 3},            // damaged file: deleted, then replaced
      {0, 1, 0, 1, 3, 0, 1, 2, 1, 11, 0, 3, 2, 2},         // disk full: the old records stay
  };
  n = 0;
  for (const ByteArray& sequence : sequences) Write(root / "store" / ("ops-" + std::to_string(n++)), sequence);
  return 0;
}
