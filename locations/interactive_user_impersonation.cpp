#include "locations/interactive_user_impersonation.h"

#include "locations/impersonation_table.h"

// A guard is known to the table by its address.

InteractiveUserImpersonation::~InteractiveUserImpersonation() {
  End();
  ImpersonationTable::Instance().Forget(this);
}

bool InteractiveUserImpersonation::Begin() { return ImpersonationTable::Instance().Begin(this); }

bool InteractiveUserImpersonation::End() { return ImpersonationTable::Instance().End(this); }
