#include "cache/cache_file.h"

#include <algorithm>
#include <memory>

#include "cache/cache_constants.h"
#include "cache/cache_file_record.h"
#include "cache/gost_cipher.h"
#include "locations/file_system.h"
#include "locations/path_text.h"

namespace {

// Deciphers the frame in place (the plaintext replaces the ciphertext in
// the bytes read) and decodes its records in one pass; false, with no
// entries, when it is not a cache file.
bool DecodeFrame(CacheFileBytes& bytes, std::vector<CacheEntry>& entries) {
  GostKey key;
  MakeCacheKey(key);
  uint32_t plainLength = 0;
  if (!GostDecryptFrameInPlace(key, bytes.data.get(), bytes.size, plainLength)) return false;
  bytes.deciphered = bytes.size != 0;
  if (plainLength % cache_file_record::kSize != 0) return false;
  const uint8_t* plain = bytes.data.get() + kGostFrameHeaderSize;
  const size_t count = plainLength / cache_file_record::kSize;
  entries.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* record = plain + i * cache_file_record::kSize;
    // One wrong record spoils the whole file, the records before it too.
    if (!cache_file_record::HasMagic(record)) {
      entries.clear();
      return false;
    }
    cache_file_record::Decode(record, entries.emplace_back());
  }
  return true;
}

// Writes all of `bytes` from the start and makes them the whole file.
bool WriteWhole(HANDLE file, const uint8_t* bytes, size_t size) {
  if (::SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return false;
  DWORD written = 0;
  if (size != 0 && (!::WriteFile(file, bytes, static_cast<DWORD>(size), &written, nullptr) || written != size)) {
    return false;
  }
  // Cuts an older, longer file to the new length.
  return ::SetEndOfFile(file) != FALSE;
}

// Reads the whole file from its start. kRecords when `bytes` holds it all
// (none for an empty file), else why not.
CacheFileContent ReadAllBytes(HANDLE file, CacheFileBytes& bytes) {
  LARGE_INTEGER length{};
  if (::SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER || !::GetFileSizeEx(file, &length)) {
    return CacheFileContent::kUnreadable;
  }
  if (length.QuadPart == 0) return CacheFileContent::kEmpty;
  if (length.QuadPart < 0 || length.QuadPart >= cache_constants::kReadLimit) return CacheFileContent::kTooLarge;

  // Not cleared first: the read overwrites it, and a short read is not used.
  const auto size = static_cast<uint32_t>(length.QuadPart);
  auto data = std::make_unique_for_overwrite<uint8_t[]>(size);
  DWORD read = 0;
  // A short read is not the file's fault: it stays as it is, not corrupt.
  if (!::ReadFile(file, data.get(), size, &read, nullptr) || read != size) return CacheFileContent::kUnreadable;
  bytes.data = std::move(data);
  bytes.size = size;
  bytes.deciphered = false;
  return CacheFileContent::kRecords;
}

// The frame of the storable entries; empty when there are none.
ByteArray EncodeFrame(const std::vector<CacheEntry>& entries) {
  const size_t count = static_cast<size_t>(std::count_if(entries.begin(), entries.end(), IsStorable));
  ByteArray plain(count * cache_file_record::kSize);
  uint8_t* record = plain.data();
  for (const CacheEntry& entry : entries) {
    if (!IsStorable(entry)) continue;
    cache_file_record::Encode(entry, record);
    record += cache_file_record::kSize;
  }
  GostKey key;
  MakeCacheKey(key);
  ByteArray frame;
  GostEncryptBuffer(key, plain.data(), static_cast<uint32_t>(plain.size()), frame);
  return frame;
}

// Opens `path`; when that fails for any reason but another process having
// the file or its being a link, creates the file's folder (with its parents)
// and tries once more.
platform::UniqueFileHandle OpenCreatingFolder(const std::wstring& path) {
  auto open = [&] {
    return FileSystem::OpenFileRefusingLinks(path, GENERIC_READ | GENERIC_WRITE, 0, OPEN_ALWAYS,
                                             FILE_ATTRIBUTE_NORMAL);
  };
  platform::UniqueFileHandle file = open();
  if (file || ::GetLastError() == ERROR_SHARING_VIOLATION || ::GetLastError() == FileSystem::kLinkRefusedError) {
    return file;
  }
  const std::ptrdiff_t separator = PathText::FindLastOf(path, L"\\/");
  if (separator < 0) return file;
  FileSystem::CreateDirectoryTree(path.substr(0, static_cast<size_t>(separator)));
  return open();
}

platform::UniqueFileHandle OpenCacheFileOnce(const std::wstring& path, CacheFileAccess access) {
  if (access == CacheFileAccess::kUpdate) return OpenCreatingFolder(path);
  platform::UniqueFileHandle file =
      FileSystem::OpenFileRefusingLinks(path, GENERIC_READ | DELETE, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
  // A file that may be read but not deleted is still worth reading.
  if (!file && ::GetLastError() == ERROR_ACCESS_DENIED) {
    file = FileSystem::OpenFileRefusingLinks(path, GENERIC_READ, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
  }
  return file;
}

}  // namespace

bool IsStorable(const CacheEntry& entry) {
  return platform::IsCacheableVerdict(entry.verdict) && entry.path.size() < cache_file_record::kPathUnits &&
         entry.signer.size() < cache_file_record::kSignerUnits;
}

platform::UniqueFileHandle OpenCacheFile(const std::wstring& path, CacheFileAccess access) {
  // GetTickCount's difference is right across its wrap; GetTickCount64 is
  // missing from 64-bit Windows XP.
  const DWORD start = ::GetTickCount();
  DWORD pause = 1;
  for (;;) {
    platform::UniqueFileHandle file = OpenCacheFileOnce(path, access);
    if (file || ::GetLastError() != ERROR_SHARING_VIOLATION || ::GetTickCount() - start >= kShareRetryMilliseconds) {
      return file;
    }
    // Another process's whole cycle takes a few milliseconds: poll often at
    // first, then back off a little.
    ::Sleep(pause);
    pause = std::min<DWORD>(pause * 2, 16);
  }
}

CacheFileContent ReadCacheFileFrom(HANDLE file, std::vector<CacheEntry>& entries, CacheFileBytes* bytesRead) {
  entries.clear();
  CacheFileBytes bytes;
  const CacheFileContent content = ReadAllBytes(file, bytes);
  if (content != CacheFileContent::kRecords) return content;
  const bool decoded = DecodeFrame(bytes, entries);
  if (bytesRead != nullptr) *bytesRead = std::move(bytes);
  return decoded ? CacheFileContent::kRecords : CacheFileContent::kCorrupt;
}

CacheFileContent ReadCacheFileFrom(HANDLE file, EncipheredRecords& records) {
  records.Clear();
  CacheFileBytes bytes;
  const CacheFileContent content = ReadAllBytes(file, bytes);
  if (content != CacheFileContent::kRecords) return content;
  return records.Adopt(std::move(bytes.data), bytes.size) ? CacheFileContent::kRecords : CacheFileContent::kCorrupt;
}

bool WriteCacheFileTo(HANDLE file, const std::vector<CacheEntry>& entries, CacheFileBytes& previous) {
  const ByteArray frame = EncodeFrame(entries);
  if (WriteWhole(file, frame.data(), frame.size())) return true;
  const DWORD error = ::GetLastError();
  // What stood in the file's first bytes is written over blocks the file
  // already had, so putting it back needs no room the failed write lacked.
  if (previous.deciphered) {
    GostKey key;
    MakeCacheKey(key);
    GostCryptBlocks(key, previous.data.get() + kGostFrameHeaderSize, previous.size - kGostFrameHeaderSize,
                    previous.data.get() + kGostFrameHeaderSize, true);
    previous.deciphered = false;
  }
  WriteWhole(file, previous.data.get(), previous.size);
  ::SetLastError(error);
  return false;
}

bool ReadCacheFile(const std::wstring& path, std::vector<CacheEntry>& entries, bool& corrupt) {
  entries.clear();
  corrupt = false;
  platform::UniqueFileHandle file = FileSystem::OpenFile(path, GENERIC_READ, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
  if (!file) return false;
  const CacheFileContent content = ReadCacheFileFrom(file.Get(), entries);
  corrupt = content == CacheFileContent::kCorrupt;
  return content == CacheFileContent::kRecords;
}

bool WriteCacheFile(const std::wstring& path, const std::vector<CacheEntry>& entries) {
  if (std::none_of(entries.begin(), entries.end(), IsStorable)) return false;
  platform::UniqueFileHandle file = OpenCreatingFolder(path);
  if (!file) return false;
  CacheFileBytes previous;
  ReadAllBytes(file.Get(), previous);
  return WriteCacheFileTo(file.Get(), entries, previous);
}
