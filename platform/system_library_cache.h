// Process-wide cache of system libraries loaded by file name. Callers bind the
// functions they need with GetProc on the handle it returns. Libraries are
// never freed: callers may hold function pointers into them until exit.
#pragma once

#include <string>
#include <vector>

#include "platform/critical_section.h"
#include "platform/win.h"

namespace platform {

class SystemLibraryCache {
 public:
  // Created on first use; destroyed by the exit handlers, which release the
  // names only, never the libraries.
  static SystemLibraryCache& Instance();

  // Returns the module for `name` (a bare file name such as "Advapi32.dll",
  // compared ignoring the case of ASCII letters), loading it from the system
  // folder only on first request. Returns null for an empty name or one with a
  // path (nothing is loaded) or when the load fails; a failed load is not
  // remembered, so the next request tries again, and the last error stays as
  // the loader left it.
  HMODULE GetLibrary(const std::wstring& name);

  size_t EntryCountForTesting();

  SystemLibraryCache() = default;
  SystemLibraryCache(const SystemLibraryCache&) = delete;
  SystemLibraryCache& operator=(const SystemLibraryCache&) = delete;

 private:
  struct Entry {
    std::wstring name;
    HMODULE module;
  };

  HMODULE Find(const std::wstring& name);

  CriticalSection lock_;
  std::vector<Entry> entries_;
};

}  // namespace platform
