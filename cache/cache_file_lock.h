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
  // Any account may open the mutex, so a hung or hostile holder must not
  // freeze every launcher: after this long the file work goes on unlocked,
  // exactly as when the mutex cannot be had at all.
  static constexpr DWORD kWaitMilliseconds = 3000;

  explicit CacheFileLock(const std::wstring& filePath);
  CacheFileLock(const CacheFileLock&) = delete;
  CacheFileLock& operator=(const CacheFileLock&) = delete;

  bool Held() const { return lock_.Owns(); }

 private:
  NamedMutex mutex_;
  NamedMutexLock lock_{mutex_};
};
