// A system thread that runs one piece of work and is waited for when its
// owner goes away. The launchers are built with the toolchain's Win32 thread
// model, whose standard library has no std::thread: its POSIX-model run-time
// would import functions that 64-bit Windows XP lacks.
#pragma once

#include <functional>

#include "platform/unique_handle.h"
#include "platform/win.h"

namespace platform {

class WorkerThread {
 public:
  // Starts `work` on a new thread. When the system gives no thread, nothing
  // runs and Started() is false; the caller decides whether to do the work
  // itself.
  explicit WorkerThread(std::function<void()> work);
  // The thread refers to this object, so it can be neither copied nor moved.
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;
  ~WorkerThread() { Join(); }

  bool Started() const { return thread_.IsValid(); }
  // Waits until the work has returned; at once when nothing was started.
  void Join();

 private:
  static DWORD WINAPI Run(void* self);

  std::function<void()> work_;
  UniqueKernelHandle thread_;
};

}  // namespace platform
