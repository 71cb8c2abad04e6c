#include "cache/cache_file_lock.h"

#include <atomic>

#include "cache/cache_constants.h"
#include "platform/ascii_fold.h"
#include "platform/path_text.h"

namespace {

// Milliseconds spent waiting so far, and whether a wait has run out. Shared
// by every cache of the process; atomics because the verifier's destruction
// at exit runs without its lock.
std::atomic<DWORD> waitedMilliseconds{0};
std::atomic<bool> waitRanOut{false};

DWORD RemainingWait() {
  if (waitRanOut) return 0;
  const DWORD waited = waitedMilliseconds;
  return waited >= CacheFileLock::kWaitBudgetMilliseconds
             ? 0
             : CacheFileLock::kWaitBudgetMilliseconds - waited;
}

}  // namespace

std::wstring CacheMutexName(const std::wstring& filePath) {
  const std::ptrdiff_t separator = PathText::FindLastOf(filePath, L"\\/");
  std::wstring name = filePath;
  if (separator >= 0 && static_cast<size_t>(separator) + 1 < filePath.size()) {
    name = filePath.substr(static_cast<size_t>(separator) + 1);
  }
  return cache_constants::kMutexNamePrefix + platform::FoldAscii(name);
}

CacheFileLock::CacheFileLock(const std::wstring& filePath) {
  if (!mutex_.Create(CacheMutexName(filePath))) return;
  // With the budget spent this only tries: a free mutex is still taken.
  const DWORD allowed = RemainingWait();
  // GetTickCount's difference is right across its wrap; GetTickCount64 is
  // missing from 64-bit Windows XP.
  const DWORD start = ::GetTickCount();
  const bool acquired = lock_.Acquire(allowed);
  if (allowed == 0) return;
  waitedMilliseconds += ::GetTickCount() - start;
  if (!acquired) waitRanOut = true;
}

void CacheFileLock::ResetWaitBudgetForTesting() {
  waitedMilliseconds = 0;
  waitRanOut = false;
}
