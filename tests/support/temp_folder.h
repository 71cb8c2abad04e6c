// A folder of its own for each test, under the prefix's temporary folder,
// removed with everything in it when the test ends.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The folder, ending with a backslash.
  const std::wstring& Path() const { return path_; }
  std::wstring Path(const std::wstring& name) const { return path_ + name; }

  // Writes `bytes` to `name` (folders on the way are created); returns the
  // full path.
  std::wstring WriteFile(const std::wstring& name, const std::vector<uint8_t>& bytes) const;
  std::wstring WriteFile(const std::wstring& name, const std::string& text) const;

 private:
  std::wstring path_;
};

// A path below `base` exactly `length` code units long (at least two more
// than `base` without its trailing separator), made of as many levels as
// needed, since Linux takes at most 255 bytes for one name. Nothing is
// created.
std::wstring PathOfLength(const std::wstring& base, size_t length);

// Whole content of a file; empty when it cannot be read.
std::vector<uint8_t> ReadWholeFile(const std::wstring& path);

// Whole content of a UTF-16 text file without byte-order mark; empty when it
// cannot be read.
std::wstring ReadWholeWideFile(const std::wstring& path);

// Removes a folder tree, clearing read-only attributes on the way.
void RemoveTree(const std::wstring& path);
