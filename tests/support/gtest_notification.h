// GoogleTest's own Notification rests on std::mutex and
// std::condition_variable, which the standard library of MinGW's Win32 thread
// model lacks. GoogleTest lets a build bring its own (GTEST_HAS_NOTIFICATION_);
// this one waits on a Win32 event. Included ahead of every file that uses
// GoogleTest.
#pragma once

#include "platform/unique_handle.h"
#include "platform/win.h"

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing::internal {

class Notification {
 public:
  Notification() : event_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;

  void Notify() { ::SetEvent(event_.Get()); }
  void WaitForNotification() { ::WaitForSingleObject(event_.Get(), INFINITE); }

 private:
  platform::UniqueKernelHandle event_;
};

}  // namespace testing::internal
