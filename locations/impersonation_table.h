// Process-wide bookkeeping of the interactive-user impersonation: which
// threads impersonate, how many open guards share each thread's
// impersonation, and which guards those are.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>

#include "platform/critical_section.h"
#include "platform/win.h"

// One thread's impersonation: the number of successful Begin calls still open
// and the guards that made them.
struct ThreadImpersonation {
  int32_t depth = 0;
  std::set<const void*> guards;
};

class ImpersonationTable {
 public:
  // The process's table. It is created during static initialisation, and any
  // static object that uses it earlier creates it first, so it outlives every
  // object that may still use it at exit.
  static ImpersonationTable& Instance();

  // Makes the calling thread run as the interactive user on behalf of
  // `guard`; a thread that already does so for another guard just counts it.
  // True when the thread now impersonates for `guard` (also when it already
  // did); false when Advapi32, the user's token or the impersonation fails.
  bool Begin(const void* guard);

  // Ends `guard`'s share of the calling thread's impersonation and reverts
  // the thread when no share is left. False when the thread holds no share
  // for `guard` (nothing is reverted then) or Advapi32 is missing.
  bool End(const void* guard);

  // Drops `guard` from every thread's record without changing any thread's
  // identity or count; for guards that go away on another thread.
  void Forget(const void* guard);

  ImpersonationTable() = default;
  ImpersonationTable(const ImpersonationTable&) = delete;
  ImpersonationTable& operator=(const ImpersonationTable&) = delete;

 private:
  platform::CriticalSection lock_;
  std::map<DWORD, std::unique_ptr<ThreadImpersonation>> threads_;
};
