// A scope in which the calling thread runs as the user logged on at the
// machine, for a launcher that runs under the system account. Guards on one
// thread share one impersonation; the thread reverts when the last one ends.
#pragma once

class InteractiveUserImpersonation {
 public:
  InteractiveUserImpersonation() = default;
  // Ends this guard's share on the destroying thread and forgets the guard
  // on every other thread (without reverting those threads).
  ~InteractiveUserImpersonation();
  InteractiveUserImpersonation(const InteractiveUserImpersonation&) = delete;
  InteractiveUserImpersonation& operator=(const InteractiveUserImpersonation&) = delete;

  // True when the calling thread now runs as the interactive user for this
  // guard (also when it already did). False, with the thread on its own
  // identity, when no interactive user's shell can be found or impersonated.
  bool Begin();

  // Ends this guard's share; the thread reverts when no other guard of it is
  // open. False when this guard holds no share on the calling thread.
  bool End();
};
