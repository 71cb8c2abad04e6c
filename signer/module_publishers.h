// The publishers of the modules whose signature counts as the launcher's
// own: each module's file held for the life of the process, and its
// publisher read once, when first needed, through the held file, so that it
// is that of the running image. Not synchronised: its owner's lock guards
// every call.
#pragma once

#include <deque>
#include <optional>
#include <string>

#include "image/module_file.h"
#include "platform/win.h"
#include "signer/file_verdicts.h"
#include "signer/publisher_policy.h"

// The publisher of the file open in `pinned`. A cached NotSigned is looked
// at afresh: an unsigned launcher accepts every file, and that never rests
// on the word of a cache record.
Publisher DeterminePublisher(FileVerdicts& verdicts, const std::wstring& path, HANDLE pinned);

class ModulePublishers {
 public:
  // Holds the file that `module` (null: the program) was mapped from, when
  // it is not held yet.
  void Pin(HMODULE module) { Record(module); }

  // The publisher of `module` (null: the program), determined through its
  // held file when first asked: Failed when the held file is not the mapped
  // one (see ModuleFile::MatchesMapping), and never NotSigned for a module
  // mapped from a signed file.
  const Publisher& PublisherOf(HMODULE module, FileVerdicts& verdicts);

 private:
  struct ModuleRecord {
    // The loader's name for it, which a rename of the file does not change;
    // another module loaded later at the same address has another name.
    std::wstring path;
    ModuleFile file;
    std::optional<Publisher> publisher;
  };

  ModuleRecord& Record(HMODULE module);

  // A deque, so that records stay where they are as others are added.
  std::deque<ModuleRecord> records_;
};
