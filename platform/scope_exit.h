// Runs a callable when the scope ends, for resources released through a
// function bound at run time, which a handle-traits type cannot name.
#pragma once

#include <utility>

namespace platform {

template <typename Fn>
class [[nodiscard]] ScopeExit {
 public:
  explicit ScopeExit(Fn fn) : fn_(std::move(fn)) {}
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;
  ~ScopeExit() { fn_(); }

 private:
  Fn fn_;
};

}  // namespace platform
