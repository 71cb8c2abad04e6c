#include "cache/cache_file.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "cache/cache_constants.h"
#include "cache/cache_file_record.h"
#include "cache/gost_cipher.h"
#include "platform/file_system.h"
#include "platform/path_text.h"

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

// The file's length, from its start: kRecords when it may hold records,
// else why not.
CacheFileContent LengthToRead(HANDLE file, uint32_t& size) {
  LARGE_INTEGER length{};
  if (::SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER || !::GetFileSizeEx(file, &length)) {
    return CacheFileContent::kUnreadable;
  }
  if (length.QuadPart == 0) return CacheFileContent::kEmpty;
  if (length.QuadPart < 0 || length.QuadPart >= cache_constants::kReadLimit) return CacheFileContent::kTooLarge;
  size = static_cast<uint32_t>(length.QuadPart);
  return CacheFileContent::kRecords;
}

// Reads exactly `size` bytes; a short read is not the file's fault.
bool ReadExactly(HANDLE file, uint8_t* data, uint32_t size) {
  DWORD read = 0;
  return size == 0 || (::ReadFile(file, data, size, &read, nullptr) && read == size);
}

// Reads the whole file from its start. kRecords when `bytes` holds it all
// (none for an empty file), else why not.
CacheFileContent ReadAllBytes(HANDLE file, CacheFileBytes& bytes) {
  uint32_t size = 0;
  const CacheFileContent content = LengthToRead(file, size);
  if (content != CacheFileContent::kRecords) return content;
  // Not cleared first: the read overwrites it, and a short read is not used.
  auto data = std::make_unique_for_overwrite<uint8_t[]>(size);
  // A short read is not the file's fault: it stays as it is, not corrupt.
  if (!ReadExactly(file, data.get(), size)) return CacheFileContent::kUnreadable;
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
  uint32_t size = 0;
  const CacheFileContent content = LengthToRead(file, size);
  if (content != CacheFileContent::kRecords) return content;
  uint8_t header[kGostFrameHeaderSize] = {};
  const uint32_t headerBytes = std::min<uint32_t>(size, kGostFrameHeaderSize);
  if (!ReadExactly(file, header, headerBytes)) return CacheFileContent::kUnreadable;
  bool corrupt = !records.Begin(header, size);
  // Read a slice at a time into one small buffer: a copy of a large file in
  // fresh memory costs more than all the rest of a lookup. Every byte is
  // read, what follows the records too, so that a file that cannot be read
  // whole is unreadable here as for the full read, even when corrupt.
  constexpr size_t kSliceBytes = 64 * cache_file_record::kSize;
  std::vector<uint8_t> slice(std::min<size_t>(size - headerBytes, kSliceBytes));
  size_t recordBytes = records.BytesExpected();
  for (size_t left = size - headerBytes; left > 0;) {
    const size_t bytes = std::min(left, slice.size());
    if (!ReadExactly(file, slice.data(), static_cast<uint32_t>(bytes))) {
      records.Clear();
      return CacheFileContent::kUnreadable;
    }
    // Slices start at a record, and hold whole ones up to the records' end.
    const size_t recordPart = std::min(bytes, recordBytes);
    if (!corrupt && recordPart > 0) corrupt = !records.Add(slice.data(), recordPart / cache_file_record::kSize);
    recordBytes -= recordPart;
    left -= bytes;
  }
  return corrupt ? CacheFileContent::kCorrupt : CacheFileContent::kRecords;
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
