#include "platform/unique_handle.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/critical_section.h"

namespace {

// Closing a handle must not hide why the call before it failed.
TEST(UniqueHandleTest, ClosingKeepsTheLastError) {
  platform::UniqueKernelHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(event);
  ::SetLastError(ERROR_FILE_NOT_FOUND);
  event.Reset();
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(event);
}

TEST(UniqueHandleTest, FileHandlesTreatNullAndInvalidAsNone) {
  EXPECT_FALSE(platform::UniqueFileHandle(nullptr));
  EXPECT_FALSE(platform::UniqueFileHandle(INVALID_HANDLE_VALUE));
  EXPECT_FALSE(platform::UniqueKernelHandle(nullptr));
}

TEST(UniqueHandleTest, MoveTransfersOwnershipOnce) {
  platform::UniqueKernelHandle first(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  const HANDLE raw = first.Get();
  platform::UniqueKernelHandle second(std::move(first));
  EXPECT_FALSE(first);
  EXPECT_EQ(second.Get(), raw);
  DWORD flags = 0;
  EXPECT_TRUE(::GetHandleInformation(raw, &flags));
  second.Reset();
  EXPECT_FALSE(::GetHandleInformation(raw, &flags));
}

TEST(CriticalSectionTest, GuardLeavesOnScopeExit) {
  platform::CriticalSection section;
  { auto guard = section.Lock(); }
  // Another thread can enter only if the guard really left.
  bool entered = false;
  std::thread other([&] {
    auto guard = section.Lock();
    entered = true;
  });
  other.join();
  EXPECT_TRUE(entered);
}

}  // namespace
