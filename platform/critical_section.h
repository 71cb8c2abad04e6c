// A Win32 critical section that cannot be copied or moved (the system keeps
// pointers into it), with a scope guard for entering it.
#pragma once

#include "platform/win.h"

namespace platform {

class CriticalSection {
 public:
  class [[nodiscard]] Guard {
   public:
    explicit Guard(CriticalSection& section) : section_(section) { ::EnterCriticalSection(&section_.section_); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;
    ~Guard() { ::LeaveCriticalSection(&section_.section_); }

   private:
    CriticalSection& section_;
  };

  CriticalSection() { ::InitializeCriticalSection(&section_); }
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;
  ~CriticalSection() { ::DeleteCriticalSection(&section_); }

  [[nodiscard]] Guard Lock() { return Guard(*this); }

 private:
  CRITICAL_SECTION section_;
};

}  // namespace platform
