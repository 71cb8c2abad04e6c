#include "locations/interactive_user_impersonation.h"

#include <gtest/gtest.h>

#include <string>

#include "locations/interactive_user_token.h"
#include "platform/unique_handle.h"
#include "platform/win.h"
#include "platform/worker_thread.h"
#include "tests/support/interactive_shell.h"
#include "tests/support/thread_token.h"

namespace {

// The console user's shell must run for these tests to impersonate anybody.
class InteractiveUserImpersonationTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(StartInteractiveShell()); }
};
using InteractiveUserTokenTest = InteractiveUserImpersonationTest;

// Ending the first of two guards must not revert the thread under the second.
TEST_F(InteractiveUserImpersonationTest, GuardsOnOneThreadShareOneImpersonation) {
  InteractiveUserImpersonation first;
  InteractiveUserImpersonation second;
  ASSERT_FALSE(ThreadImpersonates());
  ASSERT_TRUE(first.Begin());
  EXPECT_TRUE(ThreadImpersonates());
  EXPECT_TRUE(second.Begin());

  EXPECT_TRUE(first.End());
  EXPECT_TRUE(ThreadImpersonates()) << "the second guard is still open";
  EXPECT_TRUE(second.End());
  EXPECT_FALSE(ThreadImpersonates());
  EXPECT_FALSE(second.End()) << "no share left to end";
}

// A guard begun twice must count once, or one End would leave the thread
// impersonating for good.
TEST_F(InteractiveUserImpersonationTest, BeginTwiceOnOneGuardCountsOnce) {
  InteractiveUserImpersonation guard;
  ASSERT_TRUE(guard.Begin());
  EXPECT_TRUE(guard.Begin());
  EXPECT_TRUE(guard.End());
  EXPECT_FALSE(ThreadImpersonates());
}

// End without Begin must not revert an impersonation that someone else made.
TEST_F(InteractiveUserImpersonationTest, EndWithoutBeginLeavesTheThreadAlone) {
  ASSERT_TRUE(::ImpersonateSelf(SecurityImpersonation));
  InteractiveUserImpersonation guard;
  EXPECT_FALSE(guard.End());
  EXPECT_TRUE(ThreadImpersonates());
  ::RevertToSelf();
}

// Leaving a guard's scope must revert the thread when it held the last share.
TEST_F(InteractiveUserImpersonationTest, DestructorEndsTheShare) {
  InteractiveUserImpersonation outer;
  ASSERT_TRUE(outer.Begin());
  {
    InteractiveUserImpersonation inner;
    EXPECT_TRUE(inner.Begin());
  }
  EXPECT_TRUE(ThreadImpersonates()) << "the outer guard is still open";
  {
    InteractiveUserImpersonation last;
    EXPECT_TRUE(last.Begin());
    EXPECT_TRUE(outer.End());
  }
  EXPECT_FALSE(ThreadImpersonates());
}

// Impersonation belongs to a thread: one thread's guards must neither count
// for, nor revert, another thread.
TEST_F(InteractiveUserImpersonationTest, EachThreadImpersonatesOnItsOwn) {
  InteractiveUserImpersonation mainGuard;
  ASSERT_TRUE(mainGuard.Begin());

  platform::WorkerThread([&mainGuard] {
    EXPECT_FALSE(ThreadImpersonates()) << "the main thread's impersonation leaked";
    EXPECT_FALSE(mainGuard.End()) << "the guard holds no share on this thread";

    // The same guard may begin here too; this thread then has its own count.
    EXPECT_TRUE(mainGuard.Begin());
    EXPECT_TRUE(ThreadImpersonates());
    InteractiveUserImpersonation local;
    EXPECT_TRUE(local.Begin());
    EXPECT_TRUE(mainGuard.End());
    EXPECT_TRUE(local.End());
    EXPECT_FALSE(ThreadImpersonates());
  }).Join();

  EXPECT_TRUE(ThreadImpersonates()) << "another thread reverted this one";
  EXPECT_TRUE(mainGuard.End());
  EXPECT_FALSE(ThreadImpersonates());
}

// The token found must be usable for impersonation and belong to the active
// console session it reports.
TEST_F(InteractiveUserTokenTest, FindsTheShellOfTheConsoleSession) {
  platform::UniqueKernelHandle token;
  DWORD session = 0xDEADBEEF;
  ASSERT_TRUE(FindInteractiveUserToken(token, session));
  ASSERT_TRUE(token);
  EXPECT_EQ(session, ::WTSGetActiveConsoleSessionId());

  DWORD tokenSession = 0xDEADBEEF;
  DWORD returned = 0;
  ASSERT_TRUE(::GetTokenInformation(token.Get(), TokenSessionId, &tokenSession, sizeof(tokenSession), &returned));
  EXPECT_EQ(tokenSession, session);

  ASSERT_TRUE(::ImpersonateLoggedOnUser(token.Get()));
  EXPECT_TRUE(ThreadImpersonates());
  ::RevertToSelf();
}

// Only the file name decides, ignoring case. A shell started from a folder
// deeper than the split buffers must still be recognised (and must not reach
// the run-time's invalid-parameter handler, which would end the process).
TEST(ShellImagePathTest, RecognisedByItsFileName) {
  EXPECT_TRUE(IsShellImagePath("\\Device\\HarddiskVolume2\\Windows\\explorer.exe"));
  EXPECT_TRUE(IsShellImagePath("C:\\WINDOWS\\EXPLORER.EXE"));
  EXPECT_TRUE(IsShellImagePath("explorer.exe"));
  EXPECT_FALSE(IsShellImagePath("C:\\Windows\\iexplorer.exe"));
  EXPECT_FALSE(IsShellImagePath("C:\\Windows\\explorer.exe.bak"));
  EXPECT_FALSE(IsShellImagePath("C:\\explorer.exe\\notepad.exe"));
  EXPECT_FALSE(IsShellImagePath(""));
  // Names and extensions longer than any fixed buffer must not end the
  // process that scans them.
  EXPECT_FALSE(IsShellImagePath("C:\\Temp\\" + std::string(600, 'n') + ".exe"));
  EXPECT_FALSE(IsShellImagePath("C:\\Temp\\explorer." + std::string(600, 'e')));

  const std::string deepFolder = "C:\\" + std::string(300, 'd') + "\\";
  EXPECT_TRUE(IsShellImagePath(deepFolder + "explorer.exe"));
  EXPECT_FALSE(IsShellImagePath(deepFolder + "notepad.exe"));
}

}  // namespace
