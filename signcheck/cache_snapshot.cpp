#include "signcheck/cache_snapshot.h"

#include <vector>

#include "cache/cache_file.h"
#include "cache/cache_file_lock.h"
#include "platform/file_system.h"
#include "platform/unique_handle.h"
#include "platform/win.h"

namespace {

// A new, empty file of the tool's own in the temp folder; empty when none
// can be made. Its name differs from the cache file's, so the cache lock
// that guards it is not the launchers'.
std::wstring NewTempFile() {
  wchar_t folder[MAX_PATH + 1] = {};
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, folder);
  if (length == 0 || length > MAX_PATH) return {};
  wchar_t name[MAX_PATH] = {};
  if (::GetTempFileNameW(folder, L"vsc", 0, name) == 0) return {};
  return name;
}

bool CopyAll(HANDLE from, HANDLE to) {
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(from, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) return false;
    if (read == 0) return true;
    DWORD written = 0;
    if (!::WriteFile(to, buffer.data(), read, &written, nullptr) || written != read) return false;
  }
}

}  // namespace

CacheSnapshot::CacheSnapshot(const std::wstring& path) {
  if (path.empty()) return;
  const CacheFileLock lock(path);
  const platform::UniqueFileHandle file = OpenCacheFile(path, CacheFileAccess::kRead);
  if (!file) {
    const DWORD error = ::GetLastError();
    state_ = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? State::Absent : State::Unreadable;
    return;
  }
  state_ = State::NotCopied;
  copy_ = NewTempFile();
  if (copy_.empty()) return;
  {
    const platform::UniqueFileHandle to(
        ::CreateFileW(copy_.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_TEMPORARY, nullptr));
    if (!to || !CopyAll(file.Get(), to.Get())) return;
  }
  state_ = State::Copied;
  std::vector<CacheEntry> entries;
  bool corrupt = false;
  if (!ReadCacheFile(copy_, entries, corrupt) && corrupt) state_ = State::Corrupt;
}

CacheSnapshot::~CacheSnapshot() {
  if (!copy_.empty()) ::DeleteFileW(copy_.c_str());
}
