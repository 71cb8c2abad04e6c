// The file that a loaded module was mapped from, held open from the moment
// it is pinned. A running program's file can be renamed and another file put
// at its old path, also before the program's first instruction runs; the
// loader's record of the path does not change, so a publisher read from that
// path could be anyone's. The held file can no longer be swapped, and it is
// compared with what was mapped.
#pragma once

#include "image/pinned_file.h"
#include "platform/win.h"

class ModuleFile {
 public:
  ModuleFile() = default;

  // Opens the file that the loader names for `module` (null: the program),
  // for reading, shared for reading only. Not pinned when it cannot be opened
  // or the loader cannot name it whole.
  static ModuleFile Pin(HMODULE module);

  HMODULE Module() const { return module_; }
  bool IsPinned() const { return file_.IsValid(); }
  const PinnedFile& File() const { return file_; }

  // The module's mapped headers name a certificate table: it was mapped from
  // a signed file.
  bool MappedSigned() const;

  // Whether the held file is the one the module was mapped from, as far as
  // can be told: its headers' time stamp, image size, checksum, entry point
  // and certificate table equal the mapped ones, and where the system has a
  // function to name the mapped file, the name it gives (none: a mismatch)
  // names the held file too. False when the file
  // is not pinned or its headers cannot be read.
  bool MatchesMapping() const;

 private:
  ModuleFile(HMODULE module, PinnedFile file) : module_(module), file_(std::move(file)) {}

  HMODULE module_ = nullptr;
  PinnedFile file_;
};
