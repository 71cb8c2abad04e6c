// The cross-process lock around one read, or one read-merge-write, of a
// verification cache file. All processes, sessions and accounts that use a
// cache file of the same name share it, whatever folder the file lies in.
#pragma once

#include <string>

#include "platform/named_mutex.h"

// "Global\QM.Signer.File.{…}." followed by the file's name (the part after
// the last separator) with A to Z folded to lower case.
std::wstring CacheMutexName(const std::wstring& filePath);

class CacheFileLock {
 public:
  // Any account may create or hold the mutex, so a hung or hostile holder
  // must not delay every launch: a process waits this long in all over its
  // life, and after one wait that ran out it never waits again. Without the
  // lock the cache file itself, held open without sharing, keeps the
  // processes apart.
  static constexpr DWORD kWaitBudgetMilliseconds = 3000;

  explicit CacheFileLock(const std::wstring& filePath);
  CacheFileLock(const CacheFileLock&) = delete;
  CacheFileLock& operator=(const CacheFileLock&) = delete;

  bool Held() const { return lock_.Owns(); }

  // Gives the process its whole waiting time back.
  static void ResetWaitBudgetForTesting();

 private:
  platform::NamedMutex mutex_;
  platform::NamedMutexLock lock_{mutex_};
};
