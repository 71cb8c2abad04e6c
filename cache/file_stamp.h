// What the cache ties a verdict to: the file's size, last-write time and
// creation time, each as the one 64-bit number that the cache file stores.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win.h"

struct FileStamp {
  uint64_t size = 0;
  uint64_t lastWriteTime = 0;
  uint64_t creationTime = 0;
  bool operator==(const FileStamp&) const = default;
};

// The stamp in attributes the caller read itself.
FileStamp StampOf(const WIN32_FILE_ATTRIBUTE_DATA& data);

// The stamp of the file at `path`; false, with `stamp` untouched, when its
// attributes cannot be read.
bool ReadFileStamp(const std::wstring& path, FileStamp& stamp);

// The stamp of the file open in `file`, whatever its name leads to now.
bool ReadFileStamp(HANDLE file, FileStamp& stamp);
