// The libraries that a module brings into the process with it: its imports,
// its delayed imports and the libraries its exports are forwarded to, and
// theirs in turn. The process never searches the product's folder: each
// library of that folder is code that must be signed like the module itself,
// and it enters the process by the full path of the file that was checked,
// loaded before the images that need it. Every other name must resolve to an
// image already loaded or to the system folder.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "image/pinned_file.h"
#include "platform/trust_decision.h"

struct DependencyFinding {
  enum class Where {
    Loaded,         // already in the process: the loader takes that one
    ProductFolder,  // a file of that name in the module's folder, judged
    SystemFolder,   // found in the system folder only
    ApiSet,         // an API-set name with no file in the module's folder: the system's to resolve
    Missing,        // found nowhere the loader will look
  };
  // The file name the loader maps for it.
  std::wstring name;
  Where where = Where::Missing;
  std::wstring path;       // ProductFolder: the file
  TrustDecision decision;  // ProductFolder: the signer policy's answer
};

struct DependencyClosure {
  enum class Result {
    Complete,  // every library is loaded, a trusted product file, a system one or an API set
    Missing,   // `file` names a library found nowhere
    Refused,   // `file` was refused, could not be held, or its tables could not be read
  };
  Result result = Result::Complete;
  // The missing library's name, or the refused file's path.
  std::wstring file;
  // Why `file` was refused, in a few words; empty otherwise.
  std::wstring reason;
  // Every library looked at, in the order met, the one that ended the walk
  // last.
  std::vector<DependencyFinding> findings;
  // The trusted product files, held open (shared for reading only) until the
  // holder lets them go, in load order: each after every product file it
  // needs.
  std::vector<PinnedFile> held;
  // The names the module exports (read whenever its tables could be).
  std::vector<std::string> moduleExports;
};

// Decides whether the file open in `pinned`, known as `path`, may run in the
// process.
using DependencyJudge = std::function<TrustDecision(const std::wstring& path, HANDLE pinned)>;
// Whether a library of that file name is already loaded.
using LoadedLibraryTest = std::function<bool(const std::wstring& name)>;

// Walks the closure of the image open in `module`: each library once (names
// compared as the loader compares them), at most 8 levels deep and 64
// product files in all (beyond that the closure is refused). A file of the
// module's folder `folder` (ending with a separator) is a product file
// whatever its name, API-set names included. Product files that need each
// other in a circle cannot be loaded by path one after the other, and are
// refused. The walk stops at the first library that is missing or refused.
DependencyClosure WalkDependencies(const PinnedFile& module, const std::wstring& folder,
                                   const DependencyJudge& judge, const LoadedLibraryTest& isLoaded);
