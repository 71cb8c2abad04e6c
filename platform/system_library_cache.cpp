#include "platform/system_library_cache.h"

#include "platform/ascii_fold.h"
#include "platform/system_library.h"

namespace platform {

namespace {

bool SameLibraryName(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i] && FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

}  // namespace

SystemLibraryCache& SystemLibraryCache::Instance() {
  static SystemLibraryCache cache;
  return cache;
}

HMODULE SystemLibraryCache::Find(const std::wstring& name) {
  auto guard = lock_.Lock();
  for (const Entry& entry : entries_) {
    if (SameLibraryName(entry.name, name)) return entry.module;
  }
  return nullptr;
}

HMODULE SystemLibraryCache::GetLibrary(const std::wstring& name) {
  if (name.empty()) return nullptr;
  if (HMODULE cached = Find(name)) return cached;

  // Loading outside the lock: a library's start-up code may itself ask the
  // cache for another library. Two threads may then both load the same name;
  // the system counts the references and lookups find the first entry.
  HMODULE module = LoadSystemLibrary(name.c_str());
  if (module == nullptr) return nullptr;

  auto guard = lock_.Lock();
  entries_.push_back({name, module});
  return module;
}

size_t SystemLibraryCache::EntryCountForTesting() {
  auto guard = lock_.Lock();
  return entries_.size();
}

}  // namespace platform
