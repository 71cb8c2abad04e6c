#include "platform/unique_handle.h"

#include <gtest/gtest.h>

#include "platform/critical_section.h"
#include "platform/worker_thread.h"

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

// A registry key must be closed through the function that it carries, and a
// key without one must not count as owned.
TEST(UniqueHandleTest, RegistryKeyClosesThroughItsOwnFunction) {
  HKEY raw = nullptr;
  ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, &raw), ERROR_SUCCESS);
  EXPECT_FALSE(platform::UniqueRegKey({raw, nullptr}));
  platform::UniqueRegKey key({raw, &::RegCloseKey});
  EXPECT_TRUE(key);
  key.Reset();
  EXPECT_FALSE(key);
  DWORD subKeys = 0;
  EXPECT_EQ(::RegQueryInfoKeyW(raw, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr),
            ERROR_INVALID_HANDLE);
}

TEST(CriticalSectionTest, GuardLeavesOnScopeExit) {
  platform::CriticalSection section;
  { auto guard = section.Lock(); }
  // Another thread can enter only if the guard really left.
  bool entered = false;
  platform::WorkerThread other([&] {
    auto guard = section.Lock();
    entered = true;
  });
  other.Join();
  EXPECT_TRUE(entered);
}

}  // namespace
