// The facts about a file that tell one copy from another: size, SHA-256 and
// the version the file states.
#pragma once

#include <cstdint>
#include <string>

struct FileFacts {
  bool read = false;    // size and digest could be read
  uint64_t size = 0;    // bytes
  std::wstring sha256;  // upper-case hexadecimal
  // The fixed file version of the version resource, e.g. "1.2.3.4"; empty
  // when the file has none or it cannot be read.
  std::wstring version;
};

// Reads the whole file once. `read` stays false when it cannot be opened or
// read to its end; the version is looked for either way.
FileFacts ReadFileFacts(const std::wstring& path);
