// A named mutex that processes of every account can open, and its scoped
// owner. Waiting is left to the user, who decides how long and which wait
// results count as owning.
#pragma once

#include <string>

#include "platform/unique_handle.h"
#include "platform/win.h"

namespace platform {

class NamedMutex {
 public:
  NamedMutex() = default;
  NamedMutex(const NamedMutex&) = delete;
  NamedMutex& operator=(const NamedMutex&) = delete;

  // Creates the mutex, or opens it when it exists (its existing security then
  // stays). Not initially owned; an empty name makes an unnamed mutex. False
  // when no handle was obtained (e.g. another kind of object holds the name).
  bool Create(const std::wstring& name);
  void Close() { handle_.Reset(); }
  HANDLE Handle() const { return handle_.Get(); }

 private:
  UniqueKernelHandle handle_;
};

class NamedMutexLock {
 public:
  explicit NamedMutexLock(NamedMutex& mutex) : mutex_(mutex) {}
  NamedMutexLock(const NamedMutexLock&) = delete;
  NamedMutexLock& operator=(const NamedMutexLock&) = delete;
  ~NamedMutexLock() { Release(); }

  // Waits up to `milliseconds` for the mutex. A mutex abandoned by an owner
  // that ended counts as acquired. False on time-out, failure or no handle.
  bool Acquire(DWORD milliseconds);

  bool Owns() const { return owns_; }

  // Releases the mutex if this lock owns it.
  void Release();

 private:
  NamedMutex& mutex_;
  bool owns_ = false;
};

}  // namespace platform
