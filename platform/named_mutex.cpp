#include "platform/named_mutex.h"

#include "platform/everyone_security_attributes.h"

namespace platform {

bool NamedMutex::Create(const std::wstring& name) {
  handle_.Reset();
  // The attributes are needed only for the call: the mutex keeps its own
  // copy of the security.
  auto security = EveryoneSecurityAttributes::Create();
  handle_.Reset(::CreateMutexW(security->Get(), FALSE, name.empty() ? nullptr : name.c_str()));
  return handle_.IsValid();
}

bool NamedMutexLock::Acquire(DWORD milliseconds) {
  if (owns_) return true;
  if (mutex_.Handle() == nullptr) return false;
  const DWORD result = ::WaitForSingleObject(mutex_.Handle(), milliseconds);
  owns_ = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
  return owns_;
}

void NamedMutexLock::Release() {
  if (owns_ && mutex_.Handle() != nullptr) ::ReleaseMutex(mutex_.Handle());
  owns_ = false;
}

}  // namespace platform
