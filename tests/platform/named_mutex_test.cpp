#include "platform/named_mutex.h"

#include <gtest/gtest.h>

#include "platform/everyone_security_attributes.h"
#include "platform/worker_thread.h"

namespace {

std::wstring UniqueName() { return L"Global\\varo-test-mutex-" + std::to_wstring(::GetCurrentProcessId()); }

// The list must hold exactly "Everyone: full access", or processes of other
// accounts cannot open the cache lock.
TEST(EveryoneSecurityAttributesTest, AccessListGrantsEveryoneFullAccess) {
  auto attributes = platform::EveryoneSecurityAttributes::Create();
  ASSERT_NE(attributes->Get(), nullptr);
  EXPECT_EQ(attributes->Get()->nLength, sizeof(SECURITY_ATTRIBUTES));
  EXPECT_FALSE(attributes->Get()->bInheritHandle);

  BOOL present = FALSE, defaulted = TRUE;
  PACL dacl = nullptr;
  ASSERT_TRUE(::GetSecurityDescriptorDacl(attributes->Get()->lpSecurityDescriptor, &present, &dacl, &defaulted));
  ASSERT_TRUE(present);
  EXPECT_FALSE(defaulted);
  ASSERT_NE(dacl, nullptr);
  EXPECT_EQ(dacl->AclSize, 28);
  ASSERT_EQ(dacl->AceCount, 1);
  void* ace = nullptr;
  ASSERT_TRUE(::GetAce(dacl, 0, &ace));
  auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
  EXPECT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
  EXPECT_EQ(allowed->Mask, static_cast<DWORD>(GENERIC_ALL));
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  PSID everyone = nullptr;
  ASSERT_TRUE(::AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone));
  EXPECT_TRUE(::EqualSid(&allowed->SidStart, everyone));
  ::FreeSid(everyone);
}

// Without the security functions there is no list, and the mutex falls back
// to default security instead of failing.
TEST(EveryoneSecurityAttributesTest, MissingSecurityFunctionsMeanDefaultSecurity) {
  EXPECT_EQ(platform::EveryoneSecurityAttributes::CreateForTesting(nullptr)->Get(), nullptr);
  const HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  EXPECT_EQ(platform::EveryoneSecurityAttributes::CreateForTesting(kernel32)->Get(), nullptr);
}

TEST(NamedMutexTest, SameNameTwiceIsOneMutex) {
  platform::NamedMutex first, second;
  ASSERT_TRUE(first.Create(UniqueName()));
  ASSERT_TRUE(second.Create(UniqueName()));
  EXPECT_NE(first.Handle(), second.Handle());
  platform::NamedMutexLock lock(first);
  ASSERT_TRUE(lock.Acquire(0));
  // Owned through the first handle: another thread cannot take it through
  // the second.
  DWORD result = 0;
  platform::WorkerThread other([&] { result = ::WaitForSingleObject(second.Handle(), 0); });
  other.Join();
  EXPECT_EQ(result, static_cast<DWORD>(WAIT_TIMEOUT));
}

TEST(NamedMutexTest, NameTakenByAnotherKindOfObjectFails) {
  platform::UniqueKernelHandle event(::CreateEventW(nullptr, TRUE, FALSE, UniqueName().c_str()));
  ASSERT_TRUE(event);
  platform::NamedMutex mutex;
  EXPECT_FALSE(mutex.Create(UniqueName()));
  EXPECT_EQ(mutex.Handle(), nullptr);
}

// Releasing a mutex that was never owned would fail with ERROR_NOT_OWNER;
// the lock must not even try.
TEST(NamedMutexLockTest, LockThatNeverOwnedDoesNotRelease) {
  platform::NamedMutex mutex;
  ASSERT_TRUE(mutex.Create(UniqueName()));
  platform::WorkerThread holder([&] {
    platform::NamedMutexLock lock(mutex);
    ASSERT_TRUE(lock.Acquire(0));
    platform::NamedMutexLock waiter(mutex);
    ::SetLastError(0xDEADBEEF);
    {
      platform::NamedMutexLock notOwned(mutex);
    }
    EXPECT_EQ(::GetLastError(), 0xDEADBEEFu);
  });
  holder.Join();
}

TEST(NamedMutexLockTest, ReleaseLetsOthersIn) {
  platform::NamedMutex mutex;
  ASSERT_TRUE(mutex.Create(UniqueName()));
  {
    platform::NamedMutexLock lock(mutex);
    ASSERT_TRUE(lock.Acquire(0));
  }
  DWORD result = 0;
  platform::WorkerThread other([&] {
    result = ::WaitForSingleObject(mutex.Handle(), 0);
    if (result == WAIT_OBJECT_0) ::ReleaseMutex(mutex.Handle());
  });
  other.Join();
  EXPECT_EQ(result, static_cast<DWORD>(WAIT_OBJECT_0));
}

}  // namespace
