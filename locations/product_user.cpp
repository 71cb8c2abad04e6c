#include "locations/product_user.h"

#include "locations/interactive_user_impersonation.h"
#include "locations/product_paths.h"

bool RunAsProductUser(const std::function<void()>& work) {
  if (!ProductPaths::RunsAsSystemAccount()) {
    work();
    return true;
  }
  InteractiveUserImpersonation asUser;
  if (!asUser.Begin()) return false;
  work();
  return true;
}
