// The libraries that a module brings into the process with it: its imports
// and delayed imports, and theirs in turn. The loader finds them by name in
// the module's own folder and then the system folder; a library of the
// product's folder is code that must be signed like the module itself, and it
// must still be that file when the loader comes for it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "locations/pinned_file.h"
#include "signer/trust_decision.h"

struct DependencyFinding {
  enum class Where {
    Loaded,         // already in the process: the loader takes that one
    ProductFolder,  // a file of that name in the module's folder, judged
    SystemFolder,   // found in the system folder only
    Missing,        // found nowhere the loader will look
  };
  std::wstring name;
  Where where = Where::Missing;
  std::wstring path;       // ProductFolder: the file
  TrustDecision decision;  // ProductFolder: the signer policy's answer
};

struct DependencyClosure {
  enum class Result {
    Complete,  // every library is loaded, a trusted product file, or a system one
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
  // holder lets them go.
  std::vector<PinnedFile> held;
};

// Decides whether the file open in `pinned`, known as `path`, may run in the
// process.
using DependencyJudge = std::function<TrustDecision(const std::wstring& path, HANDLE pinned)>;
// Whether a library of that name is already loaded.
using LoadedLibraryTest = std::function<bool(const std::wstring& name)>;

// Walks the imports of the image open in `module` and, through the trusted
// product files among them, theirs: each library once, at most 8 levels deep
// and 64 product files in all (beyond that the closure is refused). API-set
// names (api-ms-, ext-ms-) are the system's own and are not looked at.
// `folder` is the module's folder, ending with a separator. The walk stops at
// the first library that is missing or refused.
DependencyClosure WalkDependencies(const PinnedFile& module, const std::wstring& folder,
                                   const DependencyJudge& judge, const LoadedLibraryTest& isLoaded);
