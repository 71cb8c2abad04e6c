#include "cache/cache_file.h"

#include <memory>

#include "cache/cache_constants.h"
#include "cache/cache_file_record.h"
#include "cache/gost_cipher.h"
#include "locations/file_system.h"
#include "locations/path_text.h"

namespace {

uint64_t FileLength(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!FileSystem::GetAttributesEx(path, data)) return 0;
  return uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow;
}

// The file as read: one buffer that later holds the plaintext too.
struct FileBytes {
  std::unique_ptr<uint8_t[]> bytes;
  uint32_t length = 0;
};

// The whole file in one read; empty when it cannot be opened, is empty or is
// too large to be a cache file. The buffer is not cleared first: the read
// overwrites it, and only the bytes read count.
FileBytes ReadWholeFrame(const std::wstring& path) {
  FileBytes frame;
  platform::UniqueFileHandle file = FileSystem::OpenFile(path, GENERIC_READ, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
  if (!file) return frame;
  // The length comes from the path's attributes, as other processes see it.
  const uint64_t length = FileLength(path);
  if (length == 0 || length >= cache_constants::kReadLimit) return frame;
  frame.bytes = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(length));
  DWORD read = 0;
  if (!::ReadFile(file.Get(), frame.bytes.get(), static_cast<DWORD>(length), &read, nullptr)) read = 0;
  frame.length = read;
  return frame;
}

platform::UniqueFileHandle OpenForWriting(const std::wstring& path) {
  auto open = [&path] { return FileSystem::OpenFile(path, GENERIC_WRITE, 0, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL); };
  platform::UniqueFileHandle file = open();
  if (file) return file;
  const std::ptrdiff_t separator = PathText::FindLastOf(path, L"\\/");
  if (separator < 0) return file;
  FileSystem::CreateDirectoryTree(path.substr(0, static_cast<size_t>(separator)));
  return open();
}

}  // namespace

bool ReadCacheFile(const std::wstring& path, std::vector<CacheEntry>& entries, bool& corrupt) {
  entries.clear();
  corrupt = false;
  FileBytes frame = ReadWholeFrame(path);
  if (frame.length == 0) return false;

  // The plaintext replaces the ciphertext in the buffer read, and the
  // records are decoded from there in one pass.
  GostKey key;
  MakeCacheKey(key);
  uint32_t plainLength = 0;
  if (!GostDecryptFrameInPlace(key, frame.bytes.get(), frame.length, plainLength) ||
      plainLength % CacheFileRecord::kSize != 0) {
    corrupt = true;
    return false;
  }
  const uint8_t* plain = frame.bytes.get() + kGostFrameHeaderSize;
  const size_t count = plainLength / CacheFileRecord::kSize;
  entries.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* record = plain + i * CacheFileRecord::kSize;
    // One wrong record spoils the whole file, the records before it too.
    if (!CacheFileRecord::HasMagic(record)) {
      entries.clear();
      corrupt = true;
      return false;
    }
    CacheFileRecord::Decode(record, entries.emplace_back());
  }
  return true;
}

bool WriteCacheFile(const std::wstring& path, const std::vector<CacheEntry>& entries) {
  size_t count = 0;
  for (const CacheEntry& entry : entries) count += IsCacheableVerdict(entry.verdict) ? 1 : 0;
  if (count == 0) return false;

  ByteArray plain(count * CacheFileRecord::kSize);
  uint8_t* record = plain.data();
  for (const CacheEntry& entry : entries) {
    if (!IsCacheableVerdict(entry.verdict)) continue;
    CacheFileRecord::Encode(entry, record);
    record += CacheFileRecord::kSize;
  }

  GostKey key;
  MakeCacheKey(key);
  ByteArray frame;
  if (!GostEncryptBuffer(key, plain.data(), static_cast<uint32_t>(plain.size()), frame) || frame.empty()) return false;

  platform::UniqueFileHandle file = OpenForWriting(path);
  if (!file) return false;
  ::SetFilePointer(file.Get(), 0, nullptr, FILE_BEGIN);
  DWORD written = 0;
  const BOOL wrote = ::WriteFile(file.Get(), frame.data(), static_cast<DWORD>(frame.size()), &written, nullptr);
  // Cuts an older, longer file to the new length.
  ::SetEndOfFile(file.Get());
  return wrote && written == frame.size();
}
