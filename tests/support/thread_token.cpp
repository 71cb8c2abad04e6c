#include "tests/support/thread_token.h"

#include <gtest/gtest.h>

#include "platform/unique_handle.h"
#include "platform/win.h"

bool ThreadImpersonates() {
  HANDLE opened = nullptr;
  ::SetLastError(0xDEADBEEF);
  if (::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, &opened)) {
    platform::UniqueKernelHandle token(opened);
    return true;
  }
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_NO_TOKEN)) << "unexpected OpenThreadToken failure";
  return false;
}
