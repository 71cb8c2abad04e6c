#include "locations/impersonation_table.h"

#include "locations/interactive_user_token.h"
#include "platform/get_proc.h"
#include "platform/system_library_cache.h"
#include "platform/unique_handle.h"

namespace {

HMODULE Advapi() { return platform::SystemLibraryCache::Instance().GetLibrary(L"Advapi32.dll"); }

bool ImpersonateInteractiveUser(HMODULE advapi) {
  platform::UniqueKernelHandle token;
  DWORD session = 0;
  if (!FindInteractiveUserToken(token, session)) return false;
  auto impersonate = platform::GetProc<decltype(&::ImpersonateLoggedOnUser)>(advapi, "ImpersonateLoggedOnUser");
  return impersonate && impersonate(token.Get());
}

// Created before wWinMain, ahead of the launchers' other static objects, so
// that its destruction comes after theirs.
[[maybe_unused]] const ImpersonationTable& createdAtStartUp = ImpersonationTable::Instance();

}  // namespace

ImpersonationTable& ImpersonationTable::Instance() {
  static ImpersonationTable table;
  return table;
}

bool ImpersonationTable::Begin(const void* guard) {
  auto held = lock_.Lock();
  HMODULE advapi = Advapi();
  if (!advapi) return false;
  auto found = threads_.find(::GetCurrentThreadId());
  // The record is made before it is inserted, so a failed allocation leaves
  // no empty record behind.
  if (found == threads_.end()) {
    found = threads_.emplace(::GetCurrentThreadId(), std::make_unique<ThreadImpersonation>()).first;
  }
  std::unique_ptr<ThreadImpersonation>& record = found->second;
  if (record->guards.contains(guard)) return true;
  if (record->depth == 0 && !ImpersonateInteractiveUser(advapi)) return false;
  ++record->depth;
  record->guards.insert(guard);
  return true;
}

bool ImpersonationTable::End(const void* guard) {
  auto held = lock_.Lock();
  HMODULE advapi = Advapi();
  if (!advapi) return false;
  auto found = threads_.find(::GetCurrentThreadId());
  if (found == threads_.end() || found->second->guards.erase(guard) == 0) return false;
  ThreadImpersonation& record = *found->second;
  if (record.depth > 1) {
    --record.depth;
    return true;
  }
  const bool wasImpersonating = record.depth == 1;
  if (auto revert = platform::GetProc<decltype(&::RevertToSelf)>(advapi, "RevertToSelf")) revert();
  threads_.erase(found);
  return wasImpersonating;
}

void ImpersonationTable::Forget(const void* guard) {
  auto held = lock_.Lock();
  for (auto& [threadId, record] : threads_) record->guards.erase(guard);
}
