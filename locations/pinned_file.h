// A file held open from the moment it is checked until it is loaded. It is
// shared for reading only, so nobody can write, replace or delete it
// meanwhile; and since a name can be re-pointed (a folder renamed, a link
// changed), what is finally loaded is compared with this very file.
#pragma once

#include <string>

#include "platform/unique_handle.h"
#include "platform/win.h"

class PinnedFile {
 public:
  // Opens `path` for reading. A file that another process has open without
  // sharing is tried again for about a second; invalid when it still cannot
  // be opened.
  static PinnedFile Open(const std::wstring& path);

  bool IsValid() const { return handle_.IsValid(); }
  HANDLE Get() const { return handle_.Get(); }

  // Where the file is now, with every link on the way resolved; a plain
  // drive-letter path when it fits the classic limit. Empty when the system
  // cannot say.
  std::wstring FinalPath() const;

  // True when `module` was mapped from this very file: same volume, same file
  // index. False when either cannot be read.
  bool IsFileOf(HMODULE module) const;

 private:
  explicit PinnedFile(platform::UniqueFileHandle handle) : handle_(std::move(handle)) {}
  platform::UniqueFileHandle handle_;
};
