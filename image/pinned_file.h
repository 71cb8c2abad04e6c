// A file held open from the moment it is checked until the process no longer
// needs it. It is shared for reading only, so nobody can write, replace,
// rename or delete it meanwhile; and since a name can be re-pointed (a folder
// renamed, a link changed), what is finally loaded is compared with this very
// file.
#pragma once

#include <string>

#include "platform/unique_handle.h"
#include "platform/win.h"

class PinnedFile {
 public:
  PinnedFile() = default;

  // Opens `path` for reading. A file that another process has open without
  // sharing is tried again for about a second; invalid when it still cannot
  // be opened.
  static PinnedFile Open(const std::wstring& path);

  bool IsValid() const { return handle_.IsValid(); }
  HANDLE Get() const { return handle_.Get(); }
  // The path it was opened by.
  const std::wstring& Path() const { return path_; }

  // Where the file is now, with every link on the way resolved; a plain
  // drive-letter path when it fits the classic limit. Empty when the system
  // cannot say.
  std::wstring FinalPath() const;

  // The path to load the file by: FinalPath(), or where the system cannot
  // name the file by its handle the path it was opened by (in its long form
  // when it is that long), which nobody can re-point at the file itself
  // while it is held. Empty when the file is not held.
  std::wstring LoadPath() const;

  // True when `mappedName`, a mapped file's name as platform::MappedFileName
  // gives it, names this file now. False when either name cannot be had.
  bool IsNamedBy(const std::wstring& mappedName) const;

  // True when `module` was loaded from this very file: a second open of the
  // path it was loaded by finds the same volume and file index. False when
  // that cannot be told.
  bool IsFileOf(HMODULE module) const;

 private:
  PinnedFile(platform::UniqueFileHandle handle, std::wstring path)
      : handle_(std::move(handle)), path_(std::move(path)) {}
  platform::UniqueFileHandle handle_;
  std::wstring path_;
};
