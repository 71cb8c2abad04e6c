#include "platform/worker_thread.h"

#include <utility>

namespace platform {

WorkerThread::WorkerThread(std::function<void()> work) : work_(std::move(work)) {
  thread_.Reset(::CreateThread(nullptr, 0, &WorkerThread::Run, this, 0, nullptr));
}

void WorkerThread::Join() {
  if (!thread_.IsValid()) return;
  ::WaitForSingleObject(thread_.Get(), INFINITE);
  thread_.Reset();
}

DWORD WINAPI WorkerThread::Run(void* self) {
  static_cast<WorkerThread*>(self)->work_();
  return 0;
}

}  // namespace platform
